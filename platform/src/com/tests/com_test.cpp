// COM in process: GUID text, HRESULT values, per-thread initialisation, and
// object creation through the built-in classes.

#include <cstddef>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include <handset/com.h>
#include <handset/com_ptr.h>
#include <handset/imaging.h>
#include <handset/wmp.h>
#include <handset/wstring.h>

#include "com_test_objects.h"
#include "test_device.h"

namespace {

constexpr GUID kTestClass = {0xE9793830, 0x6BD4, 0x4463, {0xB2, 0xA1, 0x38, 0x4C, 0x40, 0xAA, 0x2E, 0x93}};
constexpr IID kTestInterface = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

// A class of this test, built in.
handset::testing::ServerCounts counts;

class Counter final : public handset::testing::CountedObject<IUnknown, kTestInterface> {
public:
    Counter() : CountedObject(counts) {}
};

HRESULT createCounter(REFIID riid, void** ppv)
{
    return handset::com::handOut(new (std::nothrow) Counter, riid, ppv);
}

const handset::com::BuiltInClassRegistration testClass{{kTestClass, u"Tonquil.TestCounter", createCounter}};

// Initialises COM for one test and undoes it. Classes that are not built in
// are looked up in the registry, so each test has a device of its own.
class ComInitialized : public handset::testing::DeviceTest {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    void TearDown() override { CoUninitialize(); }
};

TEST(GuidTest, HasTheWin32Layout)
{
    EXPECT_EQ(16u, sizeof(GUID));
    EXPECT_EQ(0u, offsetof(GUID, Data1));
    EXPECT_EQ(4u, offsetof(GUID, Data2));
    EXPECT_EQ(6u, offsetof(GUID, Data3));
    EXPECT_EQ(8u, offsetof(GUID, Data4));
    // The same bytes as the phone keeps them in memory.
    const BYTE expected[] = {0x30, 0x38, 0x79, 0xE9, 0xD4, 0x6B, 0x63, 0x44,
                             0xB2, 0xA1, 0x38, 0x4C, 0x40, 0xAA, 0x2E, 0x93};
    EXPECT_EQ(0, std::memcmp(expected, &kTestClass, 16));
}

TEST(GuidTest, ParsesAndFormatsTheBracedForm)
{
    CLSID clsid;
    std::memset(&clsid, 0xBD, sizeof clsid);
    ASSERT_EQ(NOERROR, CLSIDFromString(u"{e9793830-6BD4-4463-b2a1-384c40aa2E93}", &clsid));
    EXPECT_TRUE(IsEqualCLSID(kTestClass, clsid));
    EXPECT_EQ(u"{E9793830-6BD4-4463-B2A1-384C40AA2E93}", handset::formatGuid(clsid));
    EXPECT_EQ("{E9793830-6BD4-4463-B2A1-384C40AA2E93}", handset::formatGuidUtf8(clsid));
    EXPECT_EQ(kTestClass, handset::parseGuid(std::string_view("{E9793830-6BD4-4463-B2A1-384C40AA2E93}")));
    EXPECT_FALSE(IsEqualGUID(kTestClass, kTestInterface));

    for (const char16_t* bad : {u"E9793830-6BD4-4463-B2A1-384C40AA2E93", u"{E9793830-6BD4-4463-B2A1-384C40AA2E9}",
                                u"{E9793830-6BD4-4463-B2A1-384C40AA2E931}", u"{E9793830+6BD4-4463-B2A1-384C40AA2E93}",
                                u"{E979383G-6BD4-4463-B2A1-384C40AA2E93}", u"{E9793830-6BD4-4463-B2A13-84C40AA2E93}",
                                u""}) {
        SCOPED_TRACE(handset::parseGuid(std::u16string_view(bad)).has_value());
        std::memset(&clsid, 0xBD, sizeof clsid);
        EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(bad, &clsid));
        EXPECT_TRUE(IsEqualCLSID(GUID_NULL, clsid));
    }
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(nullptr, &clsid));
}

TEST(GuidTest, RoundTripsEveryByteAndRefusesLookalikes)
{
    GUID all{};
    std::memset(&all, 0xFF, sizeof all);
    for (const GUID& guid : {GUID_NULL, all, kTestInterface}) {
        SCOPED_TRACE(handset::formatGuidUtf8(guid));
        EXPECT_EQ(guid, handset::parseGuid(handset::formatGuid(guid)));
    }
    EXPECT_EQ(u"{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}", handset::formatGuid(all));
    // Only ASCII hex digits count: not full-width digits, not a Latin-1
    // byte whose value looks like one, not spaces, not a sign.
    for (const char16_t* bad : {u"{\uFF10\uFF10000000-0000-0000-0000-000000000000}",
                                u"{ 0000000-0000-0000-0000-000000000000}", u"{+0000000-0000-0000-0000-000000000000}",
                                u"{0x000000-0000-0000-0000-000000000000}"}) {
        SCOPED_TRACE(handset::toUtf8(bad));
        EXPECT_FALSE(handset::parseGuid(std::u16string_view(bad)).has_value());
    }
    EXPECT_FALSE(handset::parseGuid(std::string_view("{\xB0\xB0" "000000-0000-0000-0000-000000000000}")).has_value());
}

TEST(GuidTest, StringFromGuid2NeedsRoomForTheTerminator)
{
    WCHAR text[40];
    std::fill(std::begin(text), std::end(text), u'#');
    EXPECT_EQ(0, StringFromGUID2(kTestClass, text, 38));
    EXPECT_EQ(u'#', text[0]);
    EXPECT_EQ(39, StringFromGUID2(kTestClass, text, 39));
    EXPECT_EQ(u"{E9793830-6BD4-4463-B2A1-384C40AA2E93}", std::u16string(text));
    EXPECT_EQ(u'#', text[39]);
}

TEST(HresultTest, CarriesTheWin32Codes)
{
    EXPECT_EQ(E_ACCESSDENIED, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(E_INVALIDARG, HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(E_OUTOFMEMORY, HRESULT_FROM_WIN32(ERROR_OUTOFMEMORY));
    EXPECT_EQ(S_OK, HRESULT_FROM_WIN32(ERROR_SUCCESS));
    EXPECT_EQ(static_cast<HRESULT>(0x8007007A), HRESULT_FROM_WIN32(122));
    EXPECT_EQ(122u, HRESULT_CODE(HRESULT_FROM_WIN32(122)));
    EXPECT_EQ(FACILITY_WIN32, HRESULT_FACILITY(E_INVALIDARG));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_FALSE(FAILED(S_FALSE));
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_EQ(static_cast<HRESULT>(0x80040154), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(static_cast<HRESULT>(0x80040111), CLASS_E_CLASSNOTAVAILABLE);
}

TEST(CoInitializeTest, CountsPerThreadAndRefusesAnotherModel)
{
    void* object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);

    EXPECT_EQ(E_INVALIDARG, CoInitializeEx(&object, COINIT_MULTITHREADED));
    EXPECT_EQ(E_INVALIDARG, CoInitializeEx(nullptr, 0x100));
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE));
    EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));

    // Another thread is not initialised by this one.
    HRESULT other = S_OK;
    std::thread([&] {
        void* unused = nullptr;
        other = CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &unused);
    }).join();
    EXPECT_EQ(CO_E_NOTINITIALIZED, other);

    CoUninitialize();  // one of two: still initialised
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&unknown)));
    unknown->Release();
    CoUninitialize();
    EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                                    reinterpret_cast<void**>(&unknown)));
    CoUninitialize();  // one too many does nothing

    // The apartment model is taken again once the thread is uninitialised.
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    CoUninitialize();
}

using CoCreateInstanceTest = ComInitialized;

TEST_F(CoCreateInstanceTest, CreatesBuiltInClassesByProgId)
{
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(S_OK, CLSIDFromProgID(u"tonquil.testcounter", &clsid));
    EXPECT_TRUE(IsEqualCLSID(kTestClass, clsid));

    IUnknown* object = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kTestInterface,
                                     reinterpret_cast<void**>(&object)));
    EXPECT_EQ(1, counts.objects);
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(0, counts.objects);

    // The platform's own classes are there as soon as the library is.
    EXPECT_EQ(S_OK, CLSIDFromProgID(u"PocketOutlook.Application", &clsid));
    EXPECT_FALSE(IsEqualCLSID(GUID_NULL, clsid));
}

// Whether this process has mapped a library whose file name contains `name`.
bool mapped(const std::string& name)
{
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find(name) != std::string::npos)
            return true;
    return false;
}

TEST_F(CoCreateInstanceTest, LoadsAClassOfAPlatformLibraryOnFirstCreation)
{
    // This test program links the platform's core alone: the player's ProgID
    // is known without loading GStreamer, and the imaging factory's library
    // comes in with the first factory.
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(S_OK, CLSIDFromProgID(u"WMPlayer.OCX", &clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_WindowsMediaPlayer, clsid));
    EXPECT_FALSE(mapped("libgst"));
    ASSERT_FALSE(mapped("libhandset_imaging.so"));

    handset::ComPtr<IImagingFactory> factory;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                     factory.outVoid()));
    EXPECT_TRUE(mapped("libhandset_imaging.so"));
}

TEST_F(CoCreateInstanceTest, FailsCleanlyForWhatItCannotCreate)
{
    const GUID unknownClass = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    void* object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(unknownClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);

    object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(kTestClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);

    object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(0, counts.objects);  // the object made for the failed request is gone

    Counter* outer = new Counter;
    object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(kTestClass, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(1, counts.objects);
    outer->Release();

    EXPECT_EQ(E_POINTER, CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr));
    CLSID clsid;
    std::memset(&clsid, 0xBD, sizeof clsid);
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(u"No.Such.Program", &clsid));
    EXPECT_TRUE(IsEqualCLSID(GUID_NULL, clsid));
    EXPECT_EQ(E_INVALIDARG, CLSIDFromProgID(nullptr, &clsid));
}

TEST_F(CoCreateInstanceTest, ClassObjectIsAFactory)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(kTestClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    IUnknown* object = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
    object->Release();
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    IUnknown* same = nullptr;
    EXPECT_EQ(S_OK, factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&same)));
    EXPECT_EQ(static_cast<IUnknown*>(factory), same);
    same->Release();
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(0, counts.objects);
}

// Every class's creation ends in handOut: whatever the caller gets, the
// reference the object was made with is dropped, so nothing is left behind.
TEST(HandOutTest, LeavesTheCallerTheOnlyReferenceOrNone)
{
    IUnknown* object = nullptr;
    ASSERT_EQ(S_OK, handset::com::handOut(new Counter, kTestInterface, reinterpret_cast<void**>(&object)));
    EXPECT_EQ(1, counts.objects);
    EXPECT_EQ(0u, object->Release());

    void* refused = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, handset::com::handOut(new Counter, IID_IClassFactory, &refused));
    EXPECT_EQ(nullptr, refused);
    EXPECT_EQ(E_POINTER, handset::com::handOut(new Counter, kTestInterface, nullptr));
    void* none = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_OUTOFMEMORY, handset::com::handOut(static_cast<Counter*>(nullptr), kTestInterface, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(0, counts.objects);
}

TEST(BuiltInClassTest, FirstRegistrationOfAClassOrProgIdWins)
{
    const handset::testing::TempDevice device;  // the unknown ProgID is looked up in its registry
    EXPECT_TRUE(testClass.registered());
    const handset::com::BuiltInClassRegistration sameClass{{kTestClass, u"Tonquil.Other", createCounter}};
    EXPECT_FALSE(sameClass.registered());
    const GUID otherClass = {0x22222222, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
    const handset::com::BuiltInClassRegistration sameName{{otherClass, u"TONQUIL.TESTCOUNTER", createCounter}};
    EXPECT_FALSE(sameName.registered());
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromProgID(u"Tonquil.TestCounter", &clsid));
    EXPECT_TRUE(IsEqualCLSID(kTestClass, clsid));
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(u"Tonquil.Other", &clsid));
}

}  // namespace

// The ownership helpers: a copy adds a reference and a move does not, so
// nothing is released twice or left behind; the count lives in com::Object.
TEST(ComPtrTest, HoldsExactlyTheReferencesItWasGiven)
{
    auto* counter = new Counter;
    {
        handset::ComPtr<IUnknown> first(counter);
        handset::ComPtr<IUnknown> copy = first;
        EXPECT_EQ(3u, counter->AddRef());
        EXPECT_EQ(2u, counter->Release());
        handset::ComPtr<IUnknown> moved = std::move(first);
        EXPECT_FALSE(first);
        copy = moved;
        EXPECT_EQ(3u, counter->AddRef());
        EXPECT_EQ(2u, counter->Release());

        handset::ComPtr<IUnknown> asked;
        EXPECT_EQ(S_OK, moved.queryInterface(kTestInterface, asked));
        EXPECT_EQ(counter, asked.get());
        handset::ComPtr<IClassFactory> refused;
        EXPECT_EQ(E_NOINTERFACE, moved.queryInterface(IID_IClassFactory, refused));
        EXPECT_FALSE(refused);
        EXPECT_EQ(E_POINTER, counter->QueryInterface(kTestInterface, nullptr));

        IUnknown* handed = asked.detach();
        EXPECT_EQ(2u, handed->Release());
    }
    EXPECT_EQ(0, counts.objects);
}
