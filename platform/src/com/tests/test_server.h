// What the COM tests and their in-process server share: the server's class,
// its one interface, and how it reports its entry point's calls.
#pragma once

#include <handset/com.h>

// {5B0E7C2A-91D4-4F3B-8E61-2C7A9D0B4E15}
inline constexpr CLSID CLSID_ComTestServer = {0x5B0E7C2A, 0x91D4, 0x4F3B,
                                              {0x8E, 0x61, 0x2C, 0x7A, 0x9D, 0x0B, 0x4E, 0x15}};
// {5B0E7C2B-91D4-4F3B-8E61-2C7A9D0B4E15}: a class id the server is registered
// for but does not serve.
inline constexpr CLSID CLSID_ComTestRefused = {0x5B0E7C2B, 0x91D4, 0x4F3B,
                                               {0x8E, 0x61, 0x2C, 0x7A, 0x9D, 0x0B, 0x4E, 0x15}};
inline constexpr IID IID_IComTestObject = {0x5B0E7C2C, 0x91D4, 0x4F3B,
                                           {0x8E, 0x61, 0x2C, 0x7A, 0x9D, 0x0B, 0x4E, 0x15}};

struct IComTestObject : IUnknown {
    // The number of the server's objects alive now, this one included.
    virtual LONG liveObjects() = 0;
};

// The server appends "A" to this environment variable when it is loaded
// and "D" when it is unloaded.
inline constexpr char kComTestServerCalls[] = "COM_TEST_SERVER_CALLS";
