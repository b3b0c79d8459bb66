// A fresh device with the contacts application created and logged on, as
// the call ring service holds it, for tests of every folder.
#pragma once

#include <gtest/gtest.h>

#include <handset/contacts_admin.h>
#include <handset/pimstore.h>

#include "test_device.h"

namespace handset::testing {

class ContactsDeviceTest : public DeviceTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                                         reinterpret_cast<void**>(&app_)));
        ASSERT_EQ(S_OK, app_->Logon(0));
    }

    void TearDown() override
    {
        if (app_) {
            app_->Logoff();
            app_->Release();
        }
        CoUninitialize();
    }

    // Adds a contact and returns its object id.
    CEOID addContact(const contacts::ContactChanges& fields)
    {
        CEOID oid = 0;
        EXPECT_EQ(ERROR_SUCCESS, contacts::addContact(fields, &oid));
        return oid;
    }

    IPOutlookApp* app_ = nullptr;
};

}  // namespace handset::testing
