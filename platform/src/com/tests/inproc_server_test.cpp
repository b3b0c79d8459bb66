// COM in-process servers: classes registered in HKEY_CLASSES_ROOT are loaded
// from their library, asked through DllGetClassObject, and unloaded only
// when DllCanUnloadNow allows it; ProgIDs registered there are found.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <handset/com.h>
#include <handset/device.h>
#include <handset/loader.h>
#include <handset/log.h>
#include <handset/registry.h>
#include <handset/resources.h>
#include <handset/wstring.h>

#include "run_program.h"
#include "test_device.h"
#include "test_server.h"

namespace {

void setDefault(const std::u16string& keyName, const std::u16string& value)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyEx(HKEY_CLASSES_ROOT, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                           static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))));
    RegCloseKey(key);
}

void registerServer(REFCLSID clsid, const std::u16string& library)
{
    setDefault(u"CLSID\\" + handset::formatGuid(clsid) + u"\\InProcServer32", library);
}

class InprocServerTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        ::unsetenv(kComTestServerCalls);
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        registerServer(CLSID_ComTestServer, server);
    }
    void TearDown() override
    {
        CoFreeUnusedLibraries();
        CoUninitialize();
    }
    static std::string calls()
    {
        const char* text = std::getenv(kComTestServerCalls);
        return text ? text : "";
    }
    std::string log() const { return handset::testing::slurp(handset::deviceLogPath()); }

    IComTestObject* create(REFCLSID clsid = CLSID_ComTestServer)
    {
        IComTestObject* object = nullptr;
        EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IComTestObject,
                                         reinterpret_cast<void**>(&object)));
        return object;
    }

    const std::u16string server = handset::fromUtf8(COM_TEST_SERVER);
};

TEST_F(InprocServerTest, LoadsTheRegisteredLibraryOnceAndUnloadsItWhenUnused)
{
    IComTestObject* first = create();
    ASSERT_NE(nullptr, first);
    IComTestObject* second = create();
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(2, second->liveObjects());  // both from the one loaded library
    EXPECT_EQ("A", calls());

    // Objects alive: the library stays, and the objects still work.
    CoFreeUnusedLibraries();
    EXPECT_EQ("A", calls());
    EXPECT_EQ(0u, first->Release());
    CoFreeUnusedLibraries();
    EXPECT_EQ("A", calls());
    EXPECT_EQ(1, second->liveObjects());
    EXPECT_EQ(0u, second->Release());

    CoFreeUnusedLibraries();
    EXPECT_EQ("AD", calls());
    CoFreeUnusedLibraries();  // nothing left to unload
    EXPECT_EQ("AD", calls());

    // Asked again, it is loaded again.
    IComTestObject* again = create();
    ASSERT_NE(nullptr, again);
    EXPECT_EQ("ADA", calls());
    again->Release();
    CoFreeUnusedLibraries();
    EXPECT_EQ("ADAD", calls());

    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("com: loaded " + std::string(COM_TEST_SERVER) + " for " +
                                           handset::formatGuidUtf8(CLSID_ComTestServer)))
        << text;
    EXPECT_NE(std::string::npos, text.find("com: unloaded " + std::string(COM_TEST_SERVER))) << text;
}

TEST_F(InprocServerTest, ALockedServerStaysLoaded)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_ComTestServer, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)));
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(0u, factory->Release());
    CoFreeUnusedLibraries();
    EXPECT_EQ("A", calls());

    // The lock is undone through a factory got anew.
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_ComTestServer, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_EQ("AD", calls());
}

TEST_F(InprocServerTest, ExportsResolveByNameAndByOrdinal)
{
    HMODULE module = LoadLibrary(server.c_str());
    ASSERT_NE(nullptr, module);
    const FARPROC canUnloadByName = GetProcAddress(module, u"DllCanUnloadNow");
    const FARPROC getClassByName = GetProcAddress(module, u"DllGetClassObject");
    ASSERT_NE(nullptr, canUnloadByName);
    ASSERT_NE(nullptr, getClassByName);
    EXPECT_EQ(canUnloadByName, GetProcAddress(module, MAKEINTRESOURCE(1)));
    EXPECT_EQ(getClassByName, GetProcAddress(module, MAKEINTRESOURCE(2)));
    EXPECT_EQ(nullptr, GetProcAddress(module, MAKEINTRESOURCE(3)));
    EXPECT_EQ(S_OK, reinterpret_cast<HRESULT (*)()>(canUnloadByName)());

    // COM's load of the same file shares the loader's record: unloading
    // through COM leaves this count, so the library stays.
    IComTestObject* object = create();
    ASSERT_NE(nullptr, object);
    object->Release();
    CoFreeUnusedLibraries();
    EXPECT_EQ("A", calls());
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ("AD", calls());
}

TEST_F(InprocServerTest, FailuresOfTheServerComeBackAsTheirCodes)
{
    void* object = reinterpret_cast<void*>(0xdeadbeef);
    // Registered, but the library does not serve that class.
    registerServer(CLSID_ComTestRefused, server);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              CoCreateInstance(CLSID_ComTestRefused, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);

    // The class's factory does not have the interface asked for.
    object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, CoGetClassObject(CLSID_ComTestServer, CLSCTX_INPROC_SERVER, nullptr,
                                              IID_IComTestObject, &object));
    EXPECT_EQ(nullptr, object);
    object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE,
              CoCreateInstance(CLSID_ComTestServer, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    // The outer object is never called: aggregation is refused first.
    auto* outer = reinterpret_cast<IUnknown*>(0x1);
    object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(CLSID_ComTestServer, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    // Nothing of the failed requests stays alive: the library may go.
    CoFreeUnusedLibraries();
    EXPECT_EQ("AD", calls());

    // A library that is missing, and one without DllGetClassObject.
    const CLSID missing = {0x5B0E7C2D, 0x91D4, 0x4F3B, {0x8E, 0x61, 0x2C, 0x7A, 0x9D, 0x0B, 0x4E, 0x15}};
    registerServer(missing, u"\\Program Files\\Nowhere\\missing.dll");
    object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
              CoCreateInstance(missing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    const CLSID noEntry = {0x5B0E7C2E, 0x91D4, 0x4F3B, {0x8E, 0x61, 0x2C, 0x7A, 0x9D, 0x0B, 0x4E, 0x15}};
    registerServer(noEntry, handset::fromUtf8(LOADER_TEST_LIBRARY));
    object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(CO_E_ERRORINDLL, CoCreateInstance(noEntry, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);

    // Registered keys without a library are no registration.
    const CLSID empty = {0x5B0E7C2F, 0x91D4, 0x4F3B, {0x8E, 0x61, 0x2C, 0x7A, 0x9D, 0x0B, 0x4E, 0x15}};
    registerServer(empty, u"");
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(empty, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
    const CLSID unregistered = {0x5B0E7C30, 0x91D4, 0x4F3B, {0x8E, 0x61, 0x2C, 0x7A, 0x9D, 0x0B, 0x4E, 0x15}};
    setDefault(u"CLSID\\" + handset::formatGuid(unregistered), u"a class without InProcServer32");
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(unregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));

    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("cannot load the server of " + handset::formatGuidUtf8(missing)))
        << text;
    EXPECT_NE(std::string::npos, text.find("has no DllGetClassObject")) << text;
}

TEST_F(InprocServerTest, ABareFileNameIsLookedForInWindows)
{
    const auto installed = handset::mapDevicePath(u"\\Windows\\ComTest.dll");
    ASSERT_TRUE(installed);
    std::filesystem::copy_file(COM_TEST_SERVER, *installed);
    registerServer(CLSID_ComTestServer, u"comtest.DLL");
    IComTestObject* object = create();
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(1, object->liveObjects());
    object->Release();
}

TEST_F(InprocServerTest, FindsRegisteredProgIds)
{
    setDefault(u"Tonquil.ComTest\\CLSID", handset::formatGuid(CLSID_ComTestServer));
    CLSID clsid;
    std::memset(&clsid, 0xBD, sizeof clsid);
    ASSERT_EQ(S_OK, CLSIDFromProgID(u"TONQUIL.comtest", &clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_ComTestServer, clsid));
    IComTestObject* object = create(clsid);
    ASSERT_NE(nullptr, object);
    object->Release();

    // A ProgID whose CLSID is not a class id, one without CLSID, and one that
    // would reach into another key.
    setDefault(u"Tonquil.Broken\\CLSID", u"{not a class id}");
    setDefault(u"Tonquil.NoClass", u"Tonquil's broken registration");
    setDefault(u"Tonquil.ComTest\\Nested\\CLSID", handset::formatGuid(CLSID_ComTestServer));
    for (const char16_t* progId : {u"Tonquil.Broken", u"Tonquil.NoClass", u"Tonquil.ComTest\\Nested", u""}) {
        SCOPED_TRACE(handset::toUtf8(progId));
        std::memset(&clsid, 0xBD, sizeof clsid);
        EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(progId, &clsid));
        EXPECT_TRUE(IsEqualCLSID(GUID_NULL, clsid));
    }
}

}  // namespace
