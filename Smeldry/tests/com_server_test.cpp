// Smeldry.dll as the messaging host meets it: loaded by path, its two
// exports by name and by ordinal, the class factory and the rule client
// with their reference counts and the trace they leave on the debug channel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <handset/loader.h>
#include <handset/mapi.h>
#include <handset/resources.h>
#include <handset/wstring.h>

#include "device_log.h"
#include "mail_rule_client.h"
#include "test_device.h"

namespace {

using smeldry::CLSID_SmsToneService;
using smeldry::testing::LogCursor;
using Strings = std::vector<std::string>;

using GetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNowFunction = HRESULT (*)();

void* const kSentinel = reinterpret_cast<void*>(0xdeadbeef);

class ComServerTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        library_ = LoadLibrary(handset::fromUtf8(SMELDRY_DLL).c_str());
        ASSERT_NE(nullptr, library_);
        getClassObject_ = reinterpret_cast<GetClassObjectFunction>(GetProcAddress(library_, u"DllGetClassObject"));
        canUnloadNow_ = reinterpret_cast<CanUnloadNowFunction>(GetProcAddress(library_, u"DllCanUnloadNow"));
        ASSERT_NE(nullptr, getClassObject_);
        ASSERT_NE(nullptr, canUnloadNow_);
        log_.skip();
    }
    void TearDown() override
    {
        if (library_)
            FreeLibrary(library_);
    }

    IClassFactory* factory()
    {
        void* object = kSentinel;
        EXPECT_EQ(S_OK, getClassObject_(CLSID_SmsToneService, IID_IClassFactory, &object));
        return static_cast<IClassFactory*>(object);
    }

    Strings traced()
    {
        Strings lines = log_.lines("debug");
        log_.skip();
        return lines;
    }

    HMODULE library_ = nullptr;
    GetClassObjectFunction getClassObject_ = nullptr;
    CanUnloadNowFunction canUnloadNow_ = nullptr;
    LogCursor log_;
};

TEST_F(ComServerTest, ExportsByNameAndByOrdinal)
{
    EXPECT_EQ(reinterpret_cast<FARPROC>(canUnloadNow_), GetProcAddress(library_, MAKEINTRESOURCE(1)));
    EXPECT_EQ(reinterpret_cast<FARPROC>(getClassObject_), GetProcAddress(library_, MAKEINTRESOURCE(2)));
    // The library does not register itself: the installation package does.
    EXPECT_EQ(nullptr, GetProcAddress(library_, u"DllRegisterServer"));
    EXPECT_EQ(S_OK, canUnloadNow_());
}

TEST_F(ComServerTest, RefusesOtherClassesAndInterfacesWithoutLeavingAFactory)
{
    const CLSID other = {0x6C1E2A90, 0x3B7D, 0x4E5F, {0x9A, 0x12, 0x7D, 0x4C, 0x0B, 0x8E, 0x5F, 0x32}};
    void* object = kSentinel;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject_(other, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(Strings{}, traced()) << "no factory was made";

    object = kSentinel;
    EXPECT_EQ(E_NOINTERFACE, getClassObject_(CLSID_SmsToneService, IID_IMailRuleClient, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ((Strings{"Factory Reference is now 0", "CFactory Deleted!"}), traced());

    EXPECT_EQ(E_INVALIDARG, getClassObject_(CLSID_SmsToneService, IID_IClassFactory, nullptr));
    EXPECT_EQ((Strings{"Factory Reference is now 0", "CFactory Deleted!"}), traced());
    EXPECT_EQ(S_OK, canUnloadNow_());
}

TEST_F(ComServerTest, FactoryAndRuleClientLiveAndDieWithTheirReferences)
{
    IClassFactory* classFactory = factory();
    ASSERT_NE(nullptr, classFactory);
    EXPECT_EQ((Strings{"Factory Reference is now 2", "Factory Reference is now 1"}), traced());
    // A factory alive keeps the code it runs in loaded.
    EXPECT_EQ(S_FALSE, canUnloadNow_());

    void* object = kSentinel;
    EXPECT_EQ(E_INVALIDARG, classFactory->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_NOINTERFACE, classFactory->QueryInterface(IID_IMailRuleClient, &object));
    EXPECT_EQ(nullptr, object);
    // The outer object is never called: aggregation is refused before any use.
    object = kSentinel;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              classFactory->CreateInstance(static_cast<IUnknown*>(kSentinel), IID_IMailRuleClient, &object));
    EXPECT_EQ(Strings{}, traced()) << "no rule client was made";

    object = kSentinel;
    EXPECT_EQ(E_NOINTERFACE, classFactory->CreateInstance(nullptr, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ((Strings{"CMailRuleClient reference is now 0", "CMailRuleClient Deleted!"}), traced());

    ASSERT_EQ(S_OK, classFactory->CreateInstance(nullptr, IID_IMailRuleClient, &object));
    auto* client = static_cast<IMailRuleClient*>(object);
    EXPECT_EQ((Strings{"CMailRuleClient reference is now 2", "CMailRuleClient reference is now 1"}), traced());

    object = kSentinel;
    EXPECT_EQ(E_NOINTERFACE, client->QueryInterface(IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_INVALIDARG, client->QueryInterface(IID_IUnknown, nullptr));
    ASSERT_EQ(S_OK, client->QueryInterface(IID_IUnknown, &object));
    EXPECT_EQ(static_cast<IUnknown*>(client), object);
    EXPECT_EQ(1u, client->Release());
    EXPECT_EQ((Strings{"CMailRuleClient reference is now 2", "CMailRuleClient reference is now 1"}), traced());

    // The store is neither needed nor kept.
    MRCACCESS access = static_cast<MRCACCESS>(0xbd);
    EXPECT_EQ(S_OK, client->Initialize(nullptr, &access));
    EXPECT_EQ(MRC_ACCESS_WRITE, access);
    EXPECT_EQ(E_INVALIDARG, client->Initialize(nullptr, nullptr));

    EXPECT_EQ(0u, classFactory->Release());
    EXPECT_EQ((Strings{"Factory Reference is now 0", "CFactory Deleted!"}), traced());
    EXPECT_EQ(S_FALSE, canUnloadNow_()) << "the rule client is still alive";

    EXPECT_EQ(0u, client->Release());
    EXPECT_EQ((Strings{"CMailRuleClient reference is now 0", "CMailRuleClient Deleted!"}), traced());
    EXPECT_EQ(S_OK, canUnloadNow_());
}

TEST_F(ComServerTest, LocksKeepTheLibraryLoaded)
{
    IClassFactory* classFactory = factory();
    ASSERT_NE(nullptr, classFactory);
    EXPECT_EQ(S_OK, classFactory->LockServer(TRUE));
    EXPECT_EQ(S_OK, classFactory->LockServer(7));  // any non-zero flag locks
    EXPECT_EQ(S_OK, classFactory->LockServer(FALSE));
    classFactory->Release();
    EXPECT_EQ(S_FALSE, canUnloadNow_());

    // The last unlock may come through a factory made later.
    classFactory = factory();
    EXPECT_EQ(S_OK, classFactory->LockServer(FALSE));
    // An unlock too many is absorbed: the next lock still holds.
    EXPECT_EQ(S_OK, classFactory->LockServer(FALSE));
    EXPECT_EQ(S_OK, classFactory->LockServer(TRUE));
    classFactory->Release();
    EXPECT_EQ(S_FALSE, canUnloadNow_());

    classFactory = factory();
    EXPECT_EQ(S_OK, classFactory->LockServer(FALSE));
    classFactory->Release();
    EXPECT_EQ(S_OK, canUnloadNow_());
}

}  // namespace
