// Every storage step of every write to the contacts volume can fail; the
// write must then report the failure with the code of its kind and leave
// the volume exactly as it was, row for row.
#include <sqlite3.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include <handset/cedb.h>
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/faults.h>
#include <handset/pimstore.h>
#include <handset/pimstore_batch.h>

#include "contacts_fixture.h"
#include "store_dumps.h"

namespace handset::testing {
namespace {

using contacts::ContactChanges;
using faults::Fault;
using faults::Store;

using handset::testing::dumpContactsVolume;

ContactChanges someone(const char16_t* name, const char16_t* mobile)
{
    ContactChanges fields;
    fields.lastName = name;
    fields.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, mobile}};
    return fields;
}

// What every walk starts from: two contacts with tones, a priority and
// categories, so that each write has something to change or keep.
struct Seed {
    CEOID first = 0;
    CEOID second = 0;
};

Seed seed()
{
    Seed made;
    ContactChanges first = someone(u"First", u"+44 20 7946 0018");
    first.categories = u"Family,Work";
    first.ringTone = u"\\Windows\\Ring.wav";
    first.smsTone = u"\\Windows\\Alert.wav";
    first.priority = 1;
    EXPECT_EQ(ERROR_SUCCESS, contacts::addContact(first, &made.first));
    EXPECT_EQ(ERROR_SUCCESS, contacts::addContact(someone(u"Second", u"555 0123"), &made.second));
    return made;
}

// The code a failed write of the device's tools reports for each kind.
LONG codeOf(Fault fault)
{
    switch (fault) {
    case Fault::Busy:
        return ERROR_BUSY;
    case Fault::DiskFull:
        return ERROR_DISK_FULL;
    case Fault::IoError:
        break;
    }
    return ERROR_WRITE_FAULT;
}

// One write: `run` returns its Win32 code, or an HRESULT turned into one
// (S_OK into ERROR_SUCCESS).
struct Operation {
    const char* name;
    std::function<LONG(IPOutlookApp2*, const Seed&)> run;
    bool exactCode;  // whether the code must be the fault's own
};

LONG fromHresult(HRESULT hr)
{
    return SUCCEEDED(hr) ? ERROR_SUCCESS : (HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : E_FAIL);
}

const Operation kOperations[] = {
    {"add a contact with tones, priority and a new category",
     [](IPOutlookApp2*, const Seed&) {
         ContactChanges fields = someone(u"Third", u"0123 456789");
         fields.categories = u"Friends";
         fields.ringTone = u"\\My Documents\\My Ringtones\\Old Phone.wav";
         fields.priority = 2;
         return contacts::addContact(fields);
     },
     true},
    {"change a contact's number, tone and categories",
     [](IPOutlookApp2*, const Seed& seed) {
         ContactChanges fields;
         fields.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"5550199"}, {PIMPR_HOME_TELEPHONE_NUMBER, u""}};
         fields.ringTone = u"";
         fields.categories = u"Work,Friends";
         return contacts::setContact(seed.first, fields);
     },
     true},
    {"delete a contact",
     [](IPOutlookApp2*, const Seed& seed) { return contacts::deleteContact(seed.first); }, true},
    {"add a category", [](IPOutlookApp2*, const Seed&) { return addCategory(u"Golf"); }, true},
    {"delete a category in use", [](IPOutlookApp2*, const Seed&) { return deleteCategory(u"Family"); }, true},
    {"delete an item through the contacts interfaces",
     [](IPOutlookApp2* app, const Seed& seed) {
         ComPtr<IItem> item;
         HRESULT hr = app->GetItemFromOidEx(seed.second, 0, item.out());
         if (SUCCEEDED(hr))
             hr = item->Delete();
         return fromHresult(hr);
     },
     false},
    {"make a named property",
     [](IPOutlookApp2* app, const Seed&) {
         const LPCWSTR names[] = {u"RingCount"};
         CEPROPID id = 0;
         const HRESULT hr = app->GetIDsFromNames(1, names, PIM_CREATE | CEVT_I4, &id);
         if (SUCCEEDED(hr) && id == PIMPR_INVALID_ID)
             return LONG(ERROR_INVALID_NAME);
         return fromHresult(hr);
     },
     false},
    {"save two contacts, one with a new named property, in one batch",
     [](IPOutlookApp2* app, const Seed& seed) {
         return fromHresult(PimApplyBatch([&]() -> HRESULT {
             const LPCWSTR names[] = {u"Ringback"};
             CEPROPID named = 0;
             HRESULT hr = app->GetIDsFromNames(1, names, PIM_CREATE | CEVT_LPWSTR, &named);
             for (CEOID oid : {seed.first, seed.second}) {
                 ComPtr<IItem> item;
                 if (SUCCEEDED(hr))
                     hr = app->GetItemFromOidEx(oid, 0, item.out());
                 WCHAR tone[] = u"\\Windows\\Chimes.mp3";
                 CEPROPVAL values[2]{};
                 values[0].propid = PIMPR_RINGTONE;
                 values[0].val.lpwstr = tone;
                 values[1].propid = named;
                 values[1].val.lpwstr = tone;
                 if (SUCCEEDED(hr))
                     hr = item->SetProps(0, 2, values);
                 if (SUCCEEDED(hr))
                     hr = item->Save();
             }
             return hr;
         }));
     },
     false},
};

class ContactsFaultTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    void TearDown() override
    {
        faults::failStep(Store::Contacts, 0, Fault::IoError);
        CoUninitialize();
    }

    // A fresh device, seeded, with the contacts application logged on.
    struct Fresh {
        TempDevice device;
        ComPtr<IPOutlookApp2> app;
        Seed seeded;
        Fresh()
        {
            seeded = seed();
            EXPECT_EQ(S_OK, CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp2,
                                             app.outVoid()));
            EXPECT_EQ(S_OK, app->Logon(0));
        }
        ~Fresh() { app->Logoff(); }
    };
};

TEST_F(ContactsFaultTest, EveryFailedStepOfEveryWriteLeavesTheVolumeAsItWas)
{
    const Fault kinds[] = {Fault::IoError, Fault::DiskFull, Fault::Busy};
    int injected = 0;
    for (const Operation& op : kOperations) {
        SCOPED_TRACE(op.name);
        int steps = 0;
        {
            Fresh fresh;
            faults::failStep(Store::Contacts, 0, Fault::IoError);
            ASSERT_EQ(ERROR_SUCCESS, op.run(fresh.app.get(), fresh.seeded));
            steps = faults::stepsTaken(Store::Contacts);
        }
        ASSERT_GT(steps, 0);
        for (int step = 1; step <= steps; ++step) {
            SCOPED_TRACE(step);
            const Fault kind = kinds[step % 3];
            Fresh fresh;
            const std::string before = dumpContactsVolume();
            faults::failStep(Store::Contacts, step, kind);
            const LONG rc = op.run(fresh.app.get(), fresh.seeded);
            faults::failStep(Store::Contacts, 0, Fault::IoError);
            if (op.exactCode)
                EXPECT_EQ(codeOf(kind), rc);
            else
                EXPECT_NE(ERROR_SUCCESS, rc);
            EXPECT_EQ(before, dumpContactsVolume());
            // Nothing is left behind that stops the same write a moment later.
            EXPECT_EQ(ERROR_SUCCESS, op.run(fresh.app.get(), fresh.seeded));
            ++injected;
        }
    }
    EXPECT_GE(injected, 40);
    RecordProperty("faults_injected", injected);
}

TEST_F(ContactsFaultTest, AVolumeThatCannotBeOpenedFailsTheFirstCallOnly)
{
    TempDevice device;
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(someone(u"Kept", u"5550001")));
    // The next device's volume must be opened: that first step fails.
    TempDevice next;
    faults::failStep(Store::Contacts, 1, Fault::DiskFull);
    EXPECT_EQ(ERROR_DISK_FULL, contacts::addContact(someone(u"Lost", u"5550002")));
    const contacts::ContactListResult none = contacts::listContacts();
    EXPECT_EQ(ERROR_SUCCESS, none.status);
    EXPECT_TRUE(none.contacts.empty());
    EXPECT_EQ(ERROR_SUCCESS, contacts::addContact(someone(u"Made", u"5550003")));
    EXPECT_EQ(1u, contacts::listContacts().contacts.size());
}

TEST_F(ContactsFaultTest, AFailedReadReportsItsCodeAndNeverAPartialContact)
{
    Fresh fresh;
    faults::failStep(Store::Contacts, 0, Fault::IoError);
    const contacts::ContactResult whole = contacts::showContact(fresh.seeded.first);
    ASSERT_TRUE(whole.ok());
    const int steps = faults::stepsTaken(Store::Contacts);
    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE(step);
        faults::failStep(Store::Contacts, step, Fault::IoError);
        const contacts::ContactResult shown = contacts::showContact(fresh.seeded.first);
        faults::failStep(Store::Contacts, 0, Fault::IoError);
        EXPECT_EQ(ERROR_WRITE_FAULT, shown.status);
    }
    EXPECT_EQ(whole.contact.ringTone, contacts::showContact(fresh.seeded.first).contact.ringTone);
}

}  // namespace
}  // namespace handset::testing
