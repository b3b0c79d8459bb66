// The phone's component object model, in process: GUIDs, HRESULTs,
// IUnknown, IClassFactory, streams, and object creation by class id.
//
// Objects are created in this process only (CLSCTX_INPROC_SERVER). The classes
// built into the platform (the contacts application, the media player, the
// imaging factory) are found in a table of built-in classes that each
// platform area adds to with BuiltInClassRegistration. Every other class is
// looked up in HKEY_CLASSES_ROOT "CLSID\{...}\InProcServer32", whose default
// value names its library (a device path, an absolute host path, or a bare
// file name in "\Windows"); the library is loaded once, asked for the class
// through its export DllGetClassObject, and kept until CoFreeUnusedLibraries
// finds that its DllCanUnloadNow answers S_OK.
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <handset/errors.h>
#include <handset/types.h>

// ---------------------------------------------------------------------------
// GUIDs

// The Win32 layout: 16 bytes, the first three fields in the machine's order.
struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPGUID = GUID*;
using LPCLSID = CLSID*;

using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

inline bool IsEqualGUID(REFGUID a, REFGUID b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// ---------------------------------------------------------------------------
// HRESULTs

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr DWORD FACILITY_WIN32 = 7;

// The HRESULT that carries a Win32 error code; ERROR_SUCCESS stays S_OK.
constexpr HRESULT HRESULT_FROM_WIN32(LONG error)
{
    return error <= 0 ? static_cast<HRESULT>(error)
                      : static_cast<HRESULT>((static_cast<DWORD>(error) & 0xFFFF) | (FACILITY_WIN32 << 16) |
                                             0x80000000u);
}
constexpr DWORD HRESULT_CODE(HRESULT hr) { return static_cast<DWORD>(hr) & 0xFFFF; }
constexpr DWORD HRESULT_FACILITY(HRESULT hr) { return (static_cast<DWORD>(hr) >> 16) & 0x1FFF; }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT NOERROR = 0;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);

// Storage and stream errors.
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005);
constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009);
constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001D);
constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001E);
constexpr HRESULT STG_E_INVALIDPARAMETER = static_cast<HRESULT>(0x80030057);
constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070);
constexpr HRESULT STG_E_REVERTED = static_cast<HRESULT>(0x80030102);

// ---------------------------------------------------------------------------
// Interfaces

// Every object's own three operations. Objects are destroyed by their last
// Release, never by delete.
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};
using LPUNKNOWN = IUnknown*;

// The automation base of the contacts objects. The platform's objects are
// reached by early binding only: its late-binding operations (type
// information and Invoke) are not part of this platform, so IDispatch adds
// no operation to IUnknown here.
struct IDispatch : IUnknown {};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;
};

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};

// Seek origins.
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

// Commit flags.
constexpr DWORD STGC_DEFAULT = 0;

// Stat flags and the kinds of storage object.
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STGTY_STREAM = 2;

struct STATSTG {
    LPOLESTR pwcsName;  // always null here: streams of this platform have no name
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
};

struct ISequentialStream : IUnknown {
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct IStream : ISequentialStream {
    virtual HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER libNewSize) = 0;
    virtual HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                           ULARGE_INTEGER* pcbWritten) = 0;
    virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    virtual HRESULT UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
    virtual HRESULT Clone(IStream** ppstm) = 0;
};
using LPSTREAM = IStream*;

// The interface ids of the system's own interfaces keep their well-known values.
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000,
                                          {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE,
                                              {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// ---------------------------------------------------------------------------
// COM functions

// CoInitializeEx models. The phone's COM is free-threaded; the apartment
// flag is accepted and remembered only so that mixing models on one thread
// is refused as on the desktop.
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;
constexpr DWORD COINIT_SPEED_OVER_MEMORY = 0x8;

// Class contexts. Only in-process servers exist on this platform.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                             CLSCTX_REMOTE_SERVER;

// Initialises COM for the calling thread. S_OK the first time, S_FALSE for
// each further call on an initialised thread (each call, S_FALSE included,
// needs its CoUninitialize). RPC_E_CHANGED_MODE when the thread was
// initialised with the other model (that call is not counted);
// E_INVALIDARG for a non-null reserved pointer or unknown flags.
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);

// Undoes one successful CoInitializeEx of the calling thread; a call on a
// thread that is not initialised does nothing.
void CoUninitialize();

// Finds the class id of a ProgID ("PocketOutlook.Application"), compared
// without regard to case: a built-in class's, else the one registered as
// the default value of HKEY_CLASSES_ROOT "<ProgID>\CLSID". CO_E_CLASSSTRING
// for an unknown ProgID (*lpclsid is then GUID_NULL), E_INVALIDARG for null
// pointers. Needs no CoInitializeEx.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in either
// case). CO_E_CLASSSTRING when the text is not in that form; *lpclsid is
// then GUID_NULL.
HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID lpclsid);
HRESULT IIDFromString(LPCOLESTR lpsz, LPGUID lpiid);

// Writes the braced form with upper-case digits and its terminator; returns
// the characters written including the terminator (39), or 0 when cchMax
// is below 39 (nothing is written then).
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);

// Returns the class object of a class, asked for `riid`: a built-in class's
// factory, or what the DllGetClassObject of the class's registered library
// gives. CO_E_NOTINITIALIZED on a thread without CoInitializeEx,
// REGDB_E_CLASSNOTREG for a class that is neither built in nor registered or
// a context without CLSCTX_INPROC_SERVER, the HRESULT of the loader's error
// for a library that cannot be loaded (0x8007007E when it is missing),
// CO_E_ERRORINDLL for one without DllGetClassObject, else what
// DllGetClassObject answers (CLASS_E_CLASSNOTAVAILABLE, E_NOINTERFACE ...).
// E_POINTER for a null output. *ppv is null on failure.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv);

// Creates one object of the class through its factory and returns its
// interface `riid`. Codes as CoGetClassObject, plus the factory's own
// (CLASS_E_NOAGGREGATION for an outer object, E_NOINTERFACE).
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);

// Unloads every library loaded for its classes whose DllCanUnloadNow
// answers S_OK. A library without that export stays loaded. Unloads are
// logged on channel "com".
void CoFreeUnusedLibraries();

namespace handset {

// Parses the braced form "{...}" of a GUID; nothing when `text` is not one.
std::optional<GUID> parseGuid(std::u16string_view text);
std::optional<GUID> parseGuid(std::string_view text);

// The braced, upper-case form "{6C1E2A90-3B7D-4E5F-9A12-7D4C0B8E5F31}".
std::u16string formatGuid(REFGUID guid);
std::string formatGuidUtf8(REFGUID guid);

namespace com {

// Creates one object of a built-in class and returns its interface `riid`
// in *ppv (null on failure). Aggregation is never offered.
using CreateInstanceFunction = HRESULT (*)(REFIID riid, void** ppv);

struct BuiltInClass {
    CLSID clsid;
    const char16_t* progId;  // may be null for a class without a ProgID
    CreateInstanceFunction createInstance;
};

// Adds a class to the platform's built-in classes. A platform area declares
// one namespace-scope object per class in its own source, so the class is
// known as soon as the platform library is loaded:
//
//     const handset::com::BuiltInClassRegistration registration{{CLSID_X, u"Area.X", createX}};
//
// A class id or ProgID that is already taken keeps its first registration.
class BuiltInClassRegistration {
public:
    explicit BuiltInClassRegistration(const BuiltInClass& cls);
    BuiltInClassRegistration(const BuiltInClassRegistration&) = delete;
    BuiltInClassRegistration& operator=(const BuiltInClassRegistration&) = delete;

    // Whether this registration was taken (false for a duplicate).
    bool registered() const { return registered_; }

private:
    bool registered_;
};

// Gives the caller interface `riid` of a newly made `object` and drops the
// reference it was made with, so the caller's is the only one (a refused
// interface deletes the object). A null `object` is one there was no memory
// for. A null `ppv` gets the object's own answer to it: E_POINTER from the
// platform's classes (com::Object), whatever a server's class answers.
template <typename Object>
HRESULT handOut(Object* object, REFIID riid, void** ppv)
{
    if (ppv)
        *ppv = nullptr;
    if (!object)
        return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

}  // namespace com
}  // namespace handset
