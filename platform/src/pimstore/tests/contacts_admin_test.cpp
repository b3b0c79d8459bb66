// The device's contact tools write what the phone's interfaces read, and
// the other way round.

#include <handset/contacts_admin.h>

#include "contacts_fixture.h"

namespace handset::testing {
namespace {

using namespace handset::contacts;

using ContactsAdminTest = ContactsTest;

ContactChanges anna()
{
    ContactChanges fields;
    fields.firstName = u"Anna";
    fields.lastName = u"Berg";
    fields.company = u"Acme";
    fields.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"+49 151 1234567"}, {PIMPR_HOME_TELEPHONE_NUMBER, u"030 555"}};
    fields.categories = u"Family,Work";
    fields.ringTone = u"\\My Documents\\My Ringtones\\Anna.wav";
    fields.smsTone = u"\\Windows\\Alarm1.wav";
    fields.priority = 1;
    return fields;
}

TEST_F(ContactsAdminTest, AddedContactReadsBackThroughShowAndThroughTheItem)
{
    CEOID oid = 0;
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(anna(), &oid));
    ASSERT_NE(0u, oid);

    const auto shown = showContact(oid);
    ASSERT_TRUE(shown.ok());
    const Contact& contact = shown.contact;
    EXPECT_EQ(oid, contact.oid);
    EXPECT_EQ(u"Anna", contact.firstName);
    EXPECT_EQ(u"Berg", contact.lastName);
    EXPECT_EQ(u"Acme", contact.company);
    EXPECT_EQ(anna().phones, contact.phones);
    EXPECT_EQ(u"Family,Work", contact.categories);
    EXPECT_EQ(u"\\My Documents\\My Ringtones\\Anna.wav", contact.ringTone);
    EXPECT_EQ(u"\\Windows\\Alarm1.wav", contact.smsTone);
    EXPECT_EQ(std::optional<WORD>(1), contact.priority);

    // The named properties are the ones the tone services resolve.
    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));
    EXPECT_EQ(u"\\Windows\\Alarm1.wav", readString(item.get(), namedId(kSmsRingTonesName, CEVT_LPWSTR)));
    const CEPROPID priority = namedId(kPriorityName, CEVT_UI2);
    PropBuffer buffer(256);
    CEPROPVAL* values = buffer.values();
    ULONG size = buffer.size();
    ASSERT_EQ(S_OK, item->GetProps(&priority, 0, 1, &values, &size, nullptr));
    EXPECT_EQ(1, values[0].val.uiVal);

    const auto categories = listCategories();
    ASSERT_TRUE(categories.ok());
    EXPECT_EQ(2u, categories.categories.size());
}

TEST_F(ContactsAdminTest, SetChangesOnlyWhatItIsGiven)
{
    CEOID oid = 0;
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(anna(), &oid));
    ContactChanges change;
    change.company = u"";
    change.phones = {{PIMPR_HOME_TELEPHONE_NUMBER, u""}, {PIMPR_BUSINESS_TELEPHONE_NUMBER, u"089 1"}};
    change.priority = 0;
    ASSERT_EQ(ERROR_SUCCESS, setContact(oid, change));

    const auto shown = showContact(oid);
    ASSERT_TRUE(shown.ok());
    EXPECT_EQ(u"Anna", shown.contact.firstName);
    EXPECT_EQ(u"", shown.contact.company);
    const PhoneNumbers expected = {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"+49 151 1234567"},
                                   {PIMPR_BUSINESS_TELEPHONE_NUMBER, u"089 1"}};
    EXPECT_EQ(expected, shown.contact.phones);
    EXPECT_EQ(std::optional<WORD>(0), shown.contact.priority);
    EXPECT_EQ(u"\\Windows\\Alarm1.wav", shown.contact.smsTone);

    ComPtr<IItem> match;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
              FindMatchingContact(app_.get(), u"030 555", FMCF_FINDPHONE, match.out(), nullptr));
}

TEST_F(ContactsAdminTest, UnknownContactsAndBadFieldsAreRefused)
{
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, setContact(42, anna()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, setContact(0, anna()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, deleteContact(42));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, showContact(42).status);

    ContactChanges bad = anna();
    bad.phones.emplace_back(PIMPR_RINGTONE, u"123");
    CEOID oid = 0xdeadbeef;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, contacts::addContact(bad, &oid));
    EXPECT_EQ(0xdeadbeefu, oid);
    EXPECT_EQ(0, contactCount());
    // The tools keep to the bound the picture stream keeps to.
    ContactChanges huge = anna();
    huge.picture = std::vector<BYTE>(contacts::kMaxPictureBytes + 1, 0xFF);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, contacts::addContact(huge, &oid));
    EXPECT_EQ(0, contactCount());

    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(anna(), &oid));
    ASSERT_EQ(ERROR_SUCCESS, deleteContact(oid));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, showContact(oid).status);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, deleteContact(oid));
}

TEST_F(ContactsAdminTest, ListKeepsTheOrderAndTellsAbsentPriorityFromZero)
{
    ContactChanges plain;
    plain.lastName = u"Plain";
    CEOID first = 0;
    CEOID second = 0;
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(plain, &first));
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(anna(), &second));

    const auto listed = listContacts();
    ASSERT_TRUE(listed.ok());
    ASSERT_EQ(2u, listed.contacts.size());
    EXPECT_EQ(first, listed.contacts[0].oid);
    EXPECT_EQ(std::nullopt, listed.contacts[0].priority);
    EXPECT_EQ(u"", listed.contacts[0].smsTone);
    EXPECT_EQ(second, listed.contacts[1].oid);
    EXPECT_EQ(std::optional<WORD>(1), listed.contacts[1].priority);
}

TEST(ContactsAdminLabelTest, EveryPhonePropertyHasALabelBothWays)
{
    std::vector<std::string> labels;
    for (CEPROPID phone : kContactPhoneProperties) {
        const char* label = phoneLabel(phone);
        ASSERT_NE(nullptr, label);
        SCOPED_TRACE(label);
        EXPECT_EQ(std::optional<CEPROPID>(phone), phoneFromLabel(label));
        labels.emplace_back(label);
    }
    std::sort(labels.begin(), labels.end());
    EXPECT_EQ(labels.end(), std::adjacent_find(labels.begin(), labels.end()));
    EXPECT_EQ(nullptr, phoneLabel(PIMPR_FIRST_NAME));
    EXPECT_EQ(std::nullopt, phoneFromLabel("fax"));
}

}  // namespace
}  // namespace handset::testing
