// The contacts interfaces as the tone manager calls them: the application
// object, the folder and its items, property reads into the caller's buffer,
// writes, named properties, what a failed save leaves behind, and the read
// of every contact at once.

#include <sys/wait.h>
#include <unistd.h>

#include <handset/cedb.h>
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/faults.h>
#include <handset/pimstore_read.h>

#include "contacts_fixture.h"

namespace handset::testing {
namespace {

constexpr HRESULT kShortBuffer = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

using PimStoreTest = ContactsTest;

TEST(PimStoreClassTest, CreatedByProgIdOnlyAfterCoInitialize)
{
    TempDevice device;
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(S_OK, CLSIDFromProgID(u"PocketOutlook.Application", &clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_Application, clsid));

    void* sentinel = reinterpret_cast<void*>(0xdeadbeef);
    void* app = sentinel;
    EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp, &app));
    EXPECT_EQ(nullptr, app);

    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ComPtr<IPOutlookApp> first;
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp, first.outVoid()));
    ComPtr<IPOutlookApp2> second;
    EXPECT_EQ(S_OK, first->QueryInterface(IID_IPOutlookApp2, second.outVoid()));
    ComPtr<IItem> notAnApp;
    EXPECT_EQ(E_NOINTERFACE, first->QueryInterface(IID_IItem, notAnApp.outVoid()));
    EXPECT_FALSE(notAnApp);

    // Nothing works before Logon, and Logon needs no window.
    ComPtr<IFolder> folder;
    EXPECT_EQ(E_UNEXPECTED, first->GetDefaultFolder(olFolderContacts, folder.out()));
    EXPECT_EQ(S_OK, first->Logon(0));
    EXPECT_EQ(S_OK, first->GetDefaultFolder(olFolderContacts, folder.out()));
    EXPECT_EQ(E_INVALIDARG, first->GetDefaultFolder(olFolderCalendar, folder.out()));
    EXPECT_FALSE(folder);
    EXPECT_EQ(S_OK, first->Logoff());
    first.reset();
    second.reset();
    CoUninitialize();
}

TEST_F(PimStoreTest, FolderItemsAreOneBasedSnapshotInCreationOrder)
{
    EXPECT_EQ(0, contactCount());
    const CEOID smith = addContact({{PIMPR_LAST_NAME, u"Smith"}});
    const CEOID jones = addContact({{PIMPR_LAST_NAME, u"Jones"}});

    ComPtr<IFolder> folder;
    ASSERT_EQ(S_OK, app_->GetDefaultFolder(olFolderContacts, folder.out()));
    int type = -1;
    EXPECT_EQ(S_OK, folder->get_DefaultItemType(&type));
    EXPECT_EQ(olContactItem, type);
    ComPtr<IPOutlookItemCollection> items;
    ASSERT_EQ(S_OK, folder->get_Items(items.out()));
    addContact({{PIMPR_LAST_NAME, u"Later"}});  // not in the collection taken before

    int count = -1;
    ASSERT_EQ(S_OK, items->get_Count(&count));
    EXPECT_EQ(2, count);
    const CEOID expected[] = {smith, jones};
    for (int i = 1; i <= count; ++i) {
        SCOPED_TRACE(i);
        ComPtr<IDispatch> dispatch;
        ASSERT_EQ(S_OK, items->Item(i, dispatch.out()));
        ComPtr<IContact> contact;
        ASSERT_EQ(S_OK, dispatch->QueryInterface(IID_IContact, contact.outVoid()));
        LONG oid = 0;
        EXPECT_EQ(S_OK, contact->get_Oid(&oid));
        EXPECT_EQ(expected[i - 1], static_cast<CEOID>(oid));
    }
    for (int outside : {0, 3, -1}) {
        SCOPED_TRACE(outside);
        IDispatch* sentinel = reinterpret_cast<IDispatch*>(0xdeadbeef);
        IDispatch* item = sentinel;
        EXPECT_EQ(E_INVALIDARG, items->Item(outside, &item));
        EXPECT_EQ(nullptr, item);
    }
    EXPECT_EQ(3, contactCount());
}

TEST_F(PimStoreTest, GetItemFromOidExFailsForUnknownAndDeletedContacts)
{
    const CEOID oid = addContact({{PIMPR_FIRST_NAME, u"Anna"}});
    ComPtr<IItem> item;
    EXPECT_EQ(kNotFound, app_->GetItemFromOidEx(oid + 100, 0, item.out()));
    EXPECT_FALSE(item);
    EXPECT_EQ(kNotFound, app_->GetItemFromOidEx(0, 0, item.out()));
    EXPECT_EQ(E_INVALIDARG, app_->GetItemFromOidEx(oid, 1, item.out()));

    ComPtr<IItem> open;
    ASSERT_EQ(S_OK, openItem(oid, open));
    ComPtr<IItem> other;
    ASSERT_EQ(S_OK, openItem(oid, other));
    EXPECT_EQ(S_OK, other->Delete());
    EXPECT_EQ(kNotFound, openItem(oid, item));

    // An item still held by someone else now reports the contact as gone.
    HRESULT hr = S_OK;
    readString(open.get(), PIMPR_FIRST_NAME, nullptr, &hr);
    EXPECT_EQ(kNotFound, hr);
    CEPROPVAL name = stringProp(PIMPR_FIRST_NAME, u"Back");
    EXPECT_EQ(S_OK, open->SetProps(0, 1, &name));
    EXPECT_EQ(kNotFound, open->Save());
    EXPECT_EQ(kNotFound, other->Delete());

    // A new contact never gets the id of a deleted one.
    EXPECT_LT(oid, addContact({{PIMPR_FIRST_NAME, u"Next"}}));
}

TEST_F(PimStoreTest, GetPropsFlagsEveryMissingPropertyAndPacksStrings)
{
    const CEOID oid = addContact({{PIMPR_FIRST_NAME, u"John"}, {PIMPR_COMPANY_NAME, u"Acme"}});
    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));

    const CEPROPID ids[] = {PIMPR_FIRST_NAME, PIMPR_LAST_NAME, PIMPR_COMPANY_NAME, PIMPR_RINGTONE,
                            PIMPR_PICTURE, PIMPR_INVALID_ID};
    constexpr WORD count = 6;
    const ULONG needed = count * sizeof(CEPROPVAL) + sizeof(u"John") + sizeof(u"Acme");
    PropBuffer buffer(1024);
    CEPROPVAL* values = buffer.values();
    ULONG size = buffer.size();
    ASSERT_EQ(S_OK, item->GetProps(ids, 0, count, &values, &size, nullptr));
    EXPECT_EQ(buffer.size(), size);  // left as given, for the next item's read
    EXPECT_TRUE(buffer.untouchedFrom(needed));

    const bool present[] = {true, false, true, false, false, false};
    for (WORD i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ids[i], values[i].propid);
        EXPECT_EQ(present[i] ? 0 : CEDB_PROPNOTFOUND, values[i].wFlags);
        if (!present[i]) {
            EXPECT_EQ(0, values[i].wLenData);
            EXPECT_EQ(nullptr, values[i].val.lpwstr);
        }
    }
    EXPECT_EQ(u"John", std::u16string(values[0].val.lpwstr));
    EXPECT_EQ(sizeof(u"John"), values[0].wLenData);
    EXPECT_EQ(u"Acme", std::u16string(values[2].val.lpwstr));
    // The strings follow the records inside the caller's buffer.
    EXPECT_EQ(reinterpret_cast<BYTE*>(buffer.values()) + count * sizeof(CEPROPVAL),
              reinterpret_cast<BYTE*>(values[0].val.lpwstr));

    EXPECT_EQ(E_INVALIDARG, item->GetProps(ids, 1, count, &values, &size, nullptr));
    EXPECT_EQ(E_INVALIDARG, item->GetProps(nullptr, 0, count, &values, &size, nullptr));
    EXPECT_EQ(E_INVALIDARG, item->GetProps(ids, 0, count, &values, nullptr, nullptr));
}

TEST_F(PimStoreTest, ShortBufferReportsTheNeededSizeAndStaysUntouched)
{
    const std::u16string tone = u"\\My Documents\\My Ringtones\\Bell.wav";
    const CEOID oid = addContact({{PIMPR_RINGTONE, tone}});
    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));
    const CEPROPID ids[] = {PIMPR_RINGTONE, PIMPR_LAST_NAME};
    const ULONG needed = 2 * sizeof(CEPROPVAL) + (tone.size() + 1) * sizeof(WCHAR);

    for (ULONG given : {ULONG{0}, ULONG{sizeof(CEPROPVAL)}, needed - 1}) {
        SCOPED_TRACE(given);
        PropBuffer buffer(given);
        CEPROPVAL* values = buffer.values();
        ULONG size = given;
        EXPECT_EQ(kShortBuffer, item->GetProps(ids, 0, 2, &values, &size, nullptr));
        EXPECT_EQ(needed, size);
        EXPECT_EQ(buffer.values(), values);
        EXPECT_TRUE(buffer.untouchedFrom(0));
    }

    // A null buffer is a size query.
    CEPROPVAL* none = nullptr;
    ULONG size = 0xdeadbeef;
    EXPECT_EQ(kShortBuffer, item->GetProps(ids, 0, 2, &none, &size, nullptr));
    EXPECT_EQ(needed, size);

    PropBuffer exact(needed);
    CEPROPVAL* values = exact.values();
    size = needed;
    ASSERT_EQ(S_OK, item->GetProps(ids, 0, 2, &values, &size, nullptr));
    EXPECT_EQ(tone, std::u16string(values[0].val.lpwstr));
    EXPECT_TRUE(exact.untouchedFrom(needed));
}

TEST_F(PimStoreTest, TonePathsUpTo255CharactersReadBackWhole)
{
    // The contact dialog stores paths of any length; a buffer made for 255
    // characters must hold every one of them.
    for (std::size_t length : {std::size_t{120}, std::size_t{128}, std::size_t{255}}) {
        SCOPED_TRACE(length);
        std::u16string tone = u"\\My Documents\\My Ringtones\\";
        tone += std::u16string(length - tone.size() - 4, u'x') + u".wav";
        ASSERT_EQ(length, tone.size());
        const CEOID oid = addContact({{PIMPR_RINGTONE, tone}});

        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        PropBuffer buffer(propBufferSize(1, 255));
        CEPROPVAL* values = buffer.values();
        ULONG size = buffer.size();
        const CEPROPID id = PIMPR_RINGTONE;
        ASSERT_EQ(S_OK, item->GetProps(&id, 0, 1, &values, &size, nullptr));
        EXPECT_EQ(0, values[0].wFlags);
        EXPECT_EQ(tone, std::u16string(values[0].val.lpwstr));
    }

    // One character more no longer fits that buffer, and says so.
    const std::u16string longer(256, u'y');
    const CEOID oid = addContact({{PIMPR_RINGTONE, longer}});
    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));
    PropBuffer buffer(propBufferSize(1, 255));
    CEPROPVAL* values = buffer.values();
    ULONG size = buffer.size();
    const CEPROPID id = PIMPR_RINGTONE;
    EXPECT_EQ(kShortBuffer, item->GetProps(&id, 0, 1, &values, &size, nullptr));
    EXPECT_EQ(propBufferSize(1, 256), size);
}

TEST_F(PimStoreTest, SetPropsChangesNothingUntilSaveAndIsAllOrNothing)
{
    const CEOID oid = addContact({{PIMPR_FIRST_NAME, u"Old"}});
    {
        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        CEPROPVAL name = stringProp(PIMPR_FIRST_NAME, u"Unsaved");
        ASSERT_EQ(S_OK, item->SetProps(0, 1, &name));
        EXPECT_EQ(u"Unsaved", readString(item.get(), PIMPR_FIRST_NAME));  // the item sees its change
    }
    EXPECT_EQ(u"Old", readString(oid, PIMPR_FIRST_NAME));

    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));
    const std::u16string newName = u"New";
    CEPROPVAL unknown = stringProp(0x7ABC001F, u"x");
    CEPROPVAL picture = stringProp(PIMPR_PICTURE, u"x");
    CEPROPVAL nullText = stringProp(PIMPR_LAST_NAME, u"");
    nullText.val.lpwstr = nullptr;
    for (const CEPROPVAL& bad : {unknown, picture, nullText}) {
        SCOPED_TRACE(bad.propid);
        CEPROPVAL values[] = {stringProp(PIMPR_FIRST_NAME, newName.c_str()), bad};
        EXPECT_EQ(E_INVALIDARG, item->SetProps(0, 2, values));
    }
    CEPROPVAL good = stringProp(PIMPR_FIRST_NAME, newName.c_str());
    EXPECT_EQ(E_INVALIDARG, item->SetProps(1, 1, &good));
    ASSERT_EQ(S_OK, item->Save());
    EXPECT_EQ(u"Old", readString(oid, PIMPR_FIRST_NAME));

    // CEDB_PROPDELETE removes a property.
    CEPROPVAL remove = stringProp(PIMPR_FIRST_NAME, u"");
    remove.wFlags = CEDB_PROPDELETE;
    ASSERT_EQ(S_OK, item->SetProps(0, 1, &remove));
    ASSERT_EQ(S_OK, item->Save());
    bool found = true;
    readString(oid, PIMPR_FIRST_NAME, &found);
    EXPECT_FALSE(found);
}

TEST_F(PimStoreTest, NamedPropertiesAreCreatedOnceAndKeepTheirIds)
{
    const CEPROPID sms = namedId(u"SMSRingTones", CEVT_LPWSTR);
    const CEPROPID priority = namedId(u"Priority", CEVT_UI2);
    EXPECT_EQ(CEVT_LPWSTR, TypeFromPropID(sms));
    EXPECT_EQ(CEVT_UI2, TypeFromPropID(priority));
    EXPECT_GE(IdFromPropID(sms), 0x8000);
    EXPECT_NE(IdFromPropID(sms), IdFromPropID(priority));
    EXPECT_EQ(sms, namedId(u"SMSRingTones", CEVT_LPWSTR));

    // Several at once, with and without create.
    LPCWSTR both[] = {u"Priority", u"SMSRingTones"};
    CEPROPID ids[2] = {0xdeadbeef, 0xdeadbeef};
    EXPECT_EQ(S_OK, app_->GetIDsFromNames(2, both, 0, ids));
    EXPECT_EQ(priority, ids[0]);
    EXPECT_EQ(sms, ids[1]);

    LPCWSTR unknown[] = {u"Priority", u"NeverMade"};
    EXPECT_EQ(S_FALSE, app_->GetIDsFromNames(2, unknown, 0, ids));
    EXPECT_EQ(priority, ids[0]);
    EXPECT_EQ(PIMPR_INVALID_ID, ids[1]);
    EXPECT_EQ(S_FALSE, app_->GetIDsFromNames(1, unknown + 1, 0, ids));  // still not made

    // Names are exact: another spelling is another property.
    EXPECT_NE(sms, namedId(u"smsringtones", CEVT_LPWSTR));

    // A name made with one type is not handed out for another.
    LPCWSTR priorityName[] = {u"Priority"};
    CEPROPID id = 0xdeadbeef;
    EXPECT_EQ(E_INVALIDARG, app_->GetIDsFromNames(1, priorityName, PIM_CREATE | CEVT_LPWSTR, &id));
    EXPECT_EQ(PIMPR_INVALID_ID, id);
    EXPECT_EQ(E_INVALIDARG, app_->GetIDsFromNames(1, priorityName, PIM_CREATE | CEVT_STREAM, &id));
    LPCWSTR empty[] = {u""};
    EXPECT_EQ(E_INVALIDARG, app_->GetIDsFromNames(1, empty, PIM_CREATE | CEVT_UI2, &id));
    EXPECT_EQ(E_INVALIDARG, app_->GetIDsFromNames(0, priorityName, PIM_CREATE | CEVT_UI2, &id));

    // The same ids after the process let go of the volume and opened it again.
    {
        TempDevice elsewhere;
        namedId(u"Elsewhere", CEVT_I4);  // moves the connection to another volume
    }
    setDeviceRoot(device_.root());
    EXPECT_EQ(sms, namedId(u"SMSRingTones", CEVT_LPWSTR));
    EXPECT_EQ(priority, namedId(u"Priority", CEVT_UI2));
}

TEST_F(PimStoreTest, NamedPropertyMadeByAnotherProcessHasOneId)
{
    const CEPROPID before = namedId(u"Priority", CEVT_UI2);  // this process holds a connection
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        // The child must open its own connection, not use the parent's.
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IPOutlookApp2* app = nullptr;
        if (FAILED(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp2,
                                    reinterpret_cast<void**>(&app))) ||
            FAILED(app->Logon(0)))
            _exit(2);
        // "SMSRingTones" is made here; "Priority" exists with another type.
        LPCWSTR names[] = {u"SMSRingTones", u"Priority"};
        CEPROPID ids[2] = {};
        if (app->GetIDsFromNames(2, names, PIM_CREATE | CEVT_LPWSTR, ids) != E_INVALIDARG ||
            TypeFromPropID(ids[0]) != CEVT_LPWSTR || ids[1] != PIMPR_INVALID_ID)
            _exit(3);
        LPCWSTR priority[] = {u"Priority"};
        if (app->GetIDsFromNames(1, priority, 0, ids) != S_OK || ids[0] != before)
            _exit(4);
        app->Release();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(0, WEXITSTATUS(status));

    LPCWSTR names[] = {u"SMSRingTones"};
    CEPROPID sms = 0;
    EXPECT_EQ(S_OK, app_->GetIDsFromNames(1, names, 0, &sms));
    EXPECT_EQ(CEVT_LPWSTR, TypeFromPropID(sms));
    EXPECT_EQ(sms, namedId(u"SMSRingTones", CEVT_LPWSTR));
}

TEST_F(PimStoreTest, NamedPropertiesAreWrittenAndReadLikeBuiltInOnes)
{
    const CEPROPID sms = namedId(u"SMSRingTones", CEVT_LPWSTR);
    const CEPROPID priority = namedId(u"Priority", CEVT_UI2);
    const CEOID oid = addContact({{PIMPR_LAST_NAME, u"Smith"}});
    {
        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        const std::u16string tone = u"\\Windows\\Alarm1.wav";
        CEPROPVAL values[] = {stringProp(sms, tone.c_str()), ui2Prop(priority, 2)};
        ASSERT_EQ(S_OK, item->SetProps(0, 2, values));
        ASSERT_EQ(S_OK, item->Save());
    }
    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));
    const CEPROPID ids[] = {sms, priority};
    PropBuffer buffer(1024);
    CEPROPVAL* values = buffer.values();
    ULONG size = buffer.size();
    ASSERT_EQ(S_OK, item->GetProps(ids, 0, 2, &values, &size, nullptr));
    EXPECT_EQ(u"\\Windows\\Alarm1.wav", std::u16string(values[0].val.lpwstr));
    EXPECT_EQ(0, values[1].wFlags);
    EXPECT_EQ(2, values[1].val.uiVal);

    // A named id nobody made is not a property a contact can hold.
    CEPROPVAL made = ui2Prop(MakePropID(0xF000, CEVT_UI2), 1);
    EXPECT_EQ(E_INVALIDARG, item->SetProps(0, 1, &made));
}

TEST_F(PimStoreTest, EveryValueTypeRoundTripsThroughTheBuffer)
{
    const CEPROPID i2 = namedId(u"I2", CEVT_I2);
    const CEPROPID i4 = namedId(u"I4", CEVT_I4);
    const CEPROPID ui4 = namedId(u"UI4", CEVT_UI4);
    const CEPROPID flag = namedId(u"Bool", CEVT_BOOL);
    const CEPROPID real = namedId(u"R8", CEVT_R8);
    const CEPROPID time = namedId(u"Time", CEVT_FILETIME);
    const CEPROPID blob = namedId(u"Blob", CEVT_BLOB);
    const CEPROPID text = PIMPR_LAST_NAME;
    const BYTE bytes[] = {1, 2, 3};  // an odd length: the string after it stays aligned

    CEPROPVAL values[8];
    std::memset(values, 0, sizeof values);
    values[0].propid = i2;
    values[0].val.iVal = -2;
    values[1].propid = i4;
    values[1].val.lVal = -400000;
    values[2].propid = ui4;
    values[2].val.ulVal = 0xF0000001;
    values[3].propid = flag;
    values[3].val.boolVal = TRUE;
    values[4].propid = real;
    values[4].val.dblVal = 2.5;
    values[5].propid = time;
    values[5].val.filetime = {0x89ABCDEF, 0x01234567};
    values[6].propid = blob;
    values[6].val.blob = {3, const_cast<BYTE*>(bytes)};
    values[7] = stringProp(text, u"Ng");
    const CEOID oid = addContact({});
    {
        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        ASSERT_EQ(S_OK, item->SetProps(0, 8, values));
        ASSERT_EQ(S_OK, item->Save());
    }

    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));
    const CEPROPID ids[] = {i2, i4, ui4, flag, real, time, blob, text};
    const ULONG needed = 8 * sizeof(CEPROPVAL) + 4 + sizeof(u"Ng");
    PropBuffer buffer(needed);
    CEPROPVAL* read = buffer.values();
    ULONG size = needed;
    ASSERT_EQ(S_OK, item->GetProps(ids, 0, 8, &read, &size, nullptr));
    EXPECT_TRUE(buffer.untouchedFrom(needed));
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(0, read[i].wFlags);
    }
    EXPECT_EQ(-2, read[0].val.iVal);
    EXPECT_EQ(-400000, read[1].val.lVal);
    EXPECT_EQ(0xF0000001u, read[2].val.ulVal);
    EXPECT_EQ(TRUE, read[3].val.boolVal);
    EXPECT_EQ(2.5, read[4].val.dblVal);
    EXPECT_EQ(0x89ABCDEFu, read[5].val.filetime.dwLowDateTime);
    EXPECT_EQ(0x01234567u, read[5].val.filetime.dwHighDateTime);
    EXPECT_EQ(3u, read[6].val.blob.dwCount);
    EXPECT_EQ(3, read[6].wLenData);
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + 3), std::vector<BYTE>(read[6].val.blob.lpb, read[6].val.blob.lpb + 3));
    EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(read[7].val.lpwstr) % alignof(WCHAR));
    EXPECT_EQ(u"Ng", std::u16string(read[7].val.lpwstr));
}

TEST_F(PimStoreTest, HostileTextIsStoredAsTextAndNeverRunAsSql)
{
    const std::u16string hostile = u"'; DROP TABLE contacts; --";
    const std::u16string quoteName = u"Robert'); DROP TABLE props;--";
    const CEOID oid = addContact({{PIMPR_FIRST_NAME, hostile},
                                  {PIMPR_LAST_NAME, quoteName},
                                  {PIMPR_MOBILE_TELEPHONE_NUMBER, u"'; DROP TABLE phone_index; -- 5551234"},
                                  {PIMPR_CATEGORIES, u"x'); DELETE FROM categories; --"}});
    EXPECT_EQ(hostile, readString(oid, PIMPR_FIRST_NAME));
    EXPECT_EQ(quoteName, readString(oid, PIMPR_LAST_NAME));

    const CEPROPID named = namedId(u"'; DROP TABLE named_props; --", CEVT_LPWSTR);
    EXPECT_EQ(named, namedId(u"'; DROP TABLE named_props; --", CEVT_LPWSTR));

    ComPtr<IItem> found;
    CEPROPID phone = 0;
    EXPECT_EQ(kNotFound, FindMatchingContact(app_.get(), u"'; DROP TABLE phone_index; --", FMCF_FINDPHONE,
                                             found.out(), &phone));
    EXPECT_EQ(S_OK, FindMatchingContact(app_.get(), u"555-1234", FMCF_FINDPHONE, found.out(), &phone));
    EXPECT_EQ(1, contactCount());
    const auto categories = listCategories();
    ASSERT_TRUE(categories.ok());
    ASSERT_EQ(1u, categories.categories.size());
    EXPECT_EQ(u"x'); DELETE FROM categories; --", categories.categories[0].name);
}

TEST_F(PimStoreTest, SavingACategoryMakesItsRecord)
{
    const CEOID first = addContact({{PIMPR_CATEGORIES, u"Family, Work"}});
    addContact({{PIMPR_CATEGORIES, u"work,Friends,"}});  // Work again, in another case
    const auto result = listCategories();
    ASSERT_TRUE(result.ok());
    std::vector<std::u16string> names;
    for (const auto& record : result.categories)
        names.push_back(record.name);
    EXPECT_EQ((std::vector<std::u16string>{u"Family", u"Work", u"Friends"}), names);
    // The contact keeps its categories exactly as written.
    EXPECT_EQ(u"Family, Work", readString(first, PIMPR_CATEGORIES));
}

TEST_F(PimStoreTest, AFailedSaveLeavesTheVolumeAsItWas)
{
    const CEOID existing = addContact({{PIMPR_LAST_NAME, u"Kept"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, u"5550001"}});
    const std::vector<std::pair<CEPROPID, std::u16string>> props = {
        {PIMPR_LAST_NAME, u"New"},
        {PIMPR_MOBILE_TELEPHONE_NUMBER, u"+1 555 123 4567"},
        {PIMPR_CATEGORIES, u"Family,Work"},
    };
    auto makeItem = [&](ComPtr<IItem>& item) {
        ComPtr<IDispatch> created;
        ASSERT_EQ(S_OK, app_->CreateItem(olContactItem, created.out()));
        ASSERT_EQ(S_OK, created->QueryInterface(IID_IItem, item.outVoid()));
        std::vector<CEPROPVAL> values;
        for (const auto& [propid, text] : props)
            values.push_back(stringProp(propid, text.c_str()));
        ASSERT_EQ(S_OK, item->SetProps(0, static_cast<WORD>(values.size()), values.data()));
    };

    // How many storage steps a save takes, then each one fails in turn.
    int steps = 0;
    {
        TempDevice scratch;
        ComPtr<IItem> item;
        makeItem(item);
        // Opening the volume is a step of the first call only; the walk
        // below runs on a volume already open, so it is not counted here.
        EXPECT_EQ(0, contactCount());
        faults::failStep(faults::Store::Contacts, 0, faults::Fault::IoError);
        ASSERT_EQ(S_OK, item->Save());
        steps = faults::stepsTaken(faults::Store::Contacts);
    }
    setDeviceRoot(device_.root());
    EXPECT_EQ(1, contactCount());
    ASSERT_GT(steps, 5);

    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE(step);
        ComPtr<IItem> item;
        makeItem(item);
        faults::failStep(faults::Store::Contacts, step, step % 2 ? faults::Fault::IoError : faults::Fault::DiskFull);
        EXPECT_TRUE(FAILED(item->Save()));
        faults::failStep(faults::Store::Contacts, 0, faults::Fault::IoError);

        EXPECT_EQ(1, contactCount());
        EXPECT_EQ(u"Kept", readString(existing, PIMPR_LAST_NAME));
        ComPtr<IItem> match;
        EXPECT_EQ(kNotFound, FindMatchingContact(app_.get(), u"5551234567", FMCF_FINDPHONE, match.out(), nullptr));
        const auto categories = listCategories();
        EXPECT_TRUE(categories.ok());
        EXPECT_TRUE(categories.categories.empty());
    }

    // The item keeps its changes, so the user's next save goes through.
    ComPtr<IItem> item;
    makeItem(item);
    faults::failStep(faults::Store::Contacts, 2, faults::Fault::Busy);
    EXPECT_TRUE(FAILED(item->Save()));
    EXPECT_EQ(S_OK, item->Save());
    EXPECT_EQ(2, contactCount());
}

TEST_F(PimStoreTest, EveryContactIsReadInOnePassInFolderOrderAsGetPropsFillsIt)
{
    using contacts::ContactChanges;
    CEOID smith = 0, nobody = 0, gone = 0, acme = 0;
    const ContactChanges john{.firstName = u"John", .lastName = u"Smith",
                              .phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"5550001"}}};
    const ContactChanges company{.company = u"Acme", .priority = WORD{2}, .picture = std::vector<BYTE>(300, 7)};
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(john, &smith));
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(ContactChanges{}, &nobody));
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(ContactChanges{.lastName = u"Gone"}, &gone));
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(company, &acme));
    ASSERT_EQ(ERROR_SUCCESS, contacts::deleteContact(gone));

    const CEPROPID priority = namedId(contacts::kPriorityName, CEVT_UI2);
    const CEPROPID ids[] = {PIMPR_FIRST_NAME, PIMPR_LAST_NAME, PIMPR_COMPANY_NAME, PIMPR_PICTURE, priority};
    struct Seen {
        CEOID oid;
        std::u16string texts;  // the three names, "-" for one not found
        bool picture;
        int priority;          // -1: not found
    };
    std::vector<Seen> seen;
    ASSERT_EQ(S_OK, PimReadEveryContact(app_.get(), ids, 5, [&](CEOID oid, const CEPROPVAL* values) {
        Seen contact{oid, {}, !(values[3].wFlags & CEDB_PROPNOTFOUND),
                     (values[4].wFlags & CEDB_PROPNOTFOUND) ? -1 : values[4].val.uiVal};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(ids[i], values[i].propid);
            contact.texts += (values[i].wFlags & CEDB_PROPNOTFOUND) ? u"-" : values[i].val.lpwstr;
            contact.texts += u"|";
        }
        // The strings follow the records, as GetProps packs them.
        if (oid == smith) {
            EXPECT_EQ(reinterpret_cast<const BYTE*>(values) + 5 * sizeof(CEPROPVAL),
                      reinterpret_cast<const BYTE*>(values[0].val.lpwstr));
            EXPECT_EQ(sizeof(u"John"), values[0].wLenData);
        }
        seen.push_back(contact);
        return S_OK;
    }));
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ(smith, seen[0].oid);
    EXPECT_EQ(u"John|Smith|-|", seen[0].texts);
    EXPECT_EQ(nobody, seen[1].oid);
    EXPECT_EQ(u"-|-|-|", seen[1].texts);
    EXPECT_EQ(acme, seen[2].oid);
    EXPECT_EQ(u"-|-|Acme|", seen[2].texts);
    EXPECT_EQ(2, seen[2].priority);
    EXPECT_EQ(-1, seen[0].priority);
    EXPECT_FALSE(seen[2].picture);  // a stream, read through OpenProperty only

    // A failure of the callback ends the read with its code; so does a failed step.
    int calls = 0;
    EXPECT_EQ(E_ABORT, PimReadEveryContact(app_.get(), ids, 5, [&](CEOID, const CEPROPVAL*) {
                  ++calls;
                  return E_ABORT;
              }));
    EXPECT_EQ(1, calls);
    const auto ignore = [](CEOID, const CEPROPVAL*) { return S_OK; };
    faults::failStep(faults::Store::Contacts, 2, faults::Fault::IoError);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), PimReadEveryContact(app_.get(), ids, 5, ignore));
    faults::failStep(faults::Store::Contacts, 0, faults::Fault::IoError);

    EXPECT_EQ(E_INVALIDARG, PimReadEveryContact(app_.get(), nullptr, 5, ignore));
    EXPECT_EQ(E_INVALIDARG, PimReadEveryContact(app_.get(), ids, 0, ignore));
    EXPECT_EQ(E_INVALIDARG, PimReadEveryContact(nullptr, ids, 5, ignore));
    EXPECT_EQ(S_OK, app_->Logoff());
    EXPECT_EQ(E_UNEXPECTED, PimReadEveryContact(app_.get(), ids, 5, ignore));
}

TEST_F(PimStoreTest, ASnapshotSeesOneStateOfTheVolumeAndRefusesSaves)
{
    const CEOID smith = addContact({{PIMPR_LAST_NAME, u"Smith"}});
    int before = 0, after = 0;
    HRESULT saved = S_OK;
    ASSERT_EQ(S_OK, PimReadSnapshot(app_.get(), [&] {
        before = contactCount();
        // Another program saves a contact meanwhile: not seen until the end.
        const pid_t child = fork();
        if (child == 0) {
            CEOID added = 0;
            _exit(contacts::addContact(contacts::ContactChanges{.lastName = u"Later"}, &added) == ERROR_SUCCESS ? 0
                                                                                                                : 1);
        }
        int status = -1;
        EXPECT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        after = contactCount();
        ComPtr<IItem> item;
        EXPECT_EQ(S_OK, openItem(smith, item));
        const CEPROPVAL renamed = stringProp(PIMPR_LAST_NAME, u"Jones");
        EXPECT_EQ(S_OK, item->SetProps(0, 1, const_cast<CEPROPVAL*>(&renamed)));
        saved = item->Save();
        return S_OK;
    }));
    EXPECT_EQ(1, before);
    EXPECT_EQ(1, after);
    EXPECT_EQ(E_ACCESSDENIED, saved);
    EXPECT_EQ(2, contactCount());
    EXPECT_EQ(u"Smith", readString(smith, PIMPR_LAST_NAME));

    EXPECT_EQ(E_ABORT, PimReadSnapshot(app_.get(), [] { return E_ABORT; }));
    EXPECT_EQ(E_INVALIDARG, PimReadSnapshot(app_.get(), {}));
    EXPECT_EQ(E_INVALIDARG, PimReadSnapshot(nullptr, [] { return S_OK; }));
    EXPECT_EQ(S_OK, app_->Logoff());
    EXPECT_EQ(E_UNEXPECTED, PimReadSnapshot(app_.get(), [] { return S_OK; }));
}

}  // namespace
}  // namespace handset::testing
