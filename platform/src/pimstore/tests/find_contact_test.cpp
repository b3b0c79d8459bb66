// FindMatchingContact: the loose caller-ID match of the phone stacks, its
// tie rules, the property it reports, and its index kept in step with saves.

#include <handset/faults.h>

#include "contacts_fixture.h"

namespace handset::testing {
namespace {

constexpr CEPROPID kSentinelProp = 0xdeadbeef;

class FindContactTest : public ContactsTest {
protected:
    struct Match {
        HRESULT hr = E_FAIL;
        CEOID oid = 0;
        CEPROPID phone = kSentinelProp;
    };

    Match find(const std::u16string& text)
    {
        Match match;
        IItem* item = reinterpret_cast<IItem*>(0xdeadbeef);
        match.hr = FindMatchingContact(app_.get(), text.c_str(), FMCF_FINDPHONE, &item, &match.phone);
        if (match.hr == S_OK) {
            ComPtr<IContact> contact;
            EXPECT_EQ(S_OK, item->QueryInterface(IID_IContact, contact.outVoid()));
            LONG oid = 0;
            EXPECT_EQ(S_OK, contact->get_Oid(&oid));
            match.oid = static_cast<CEOID>(oid);
            item->Release();
        } else {
            EXPECT_EQ(nullptr, item);
        }
        return match;
    }
};

TEST_F(FindContactTest, LastSevenDigitsDecideForLongNumbers)
{
    const CEOID anna = addContact({{PIMPR_MOBILE_TELEPHONE_NUMBER, u"+49 (151) 2345-6789"}});
    struct Case {
        const char16_t* searched;
        bool matches;
    } cases[] = {
        {u"+4915123456789", true},
        {u"0151 23456789", true},   // national form: same last seven
        {u"3456789", true},         // exactly the last seven
        {u"99 3456789", true},
        {u"0151 2345 6780", false}, // last digit differs
        {u"0151 2245 6789", false}, // seventh from the right differs
        {u"456789", false},         // six digits: equal strings only
        {u"Private", false},        // no digits at all
        {u"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.searched, c.searched + std::char_traits<char16_t>::length(c.searched)));
        const Match match = find(c.searched);
        if (c.matches) {
            EXPECT_EQ(S_OK, match.hr);
            EXPECT_EQ(anna, match.oid);
            EXPECT_EQ(PIMPR_MOBILE_TELEPHONE_NUMBER, match.phone);
        } else {
            EXPECT_EQ(kNotFound, match.hr);
            EXPECT_EQ(kSentinelProp, match.phone);  // untouched without a match
        }
    }
}

TEST_F(FindContactTest, ShortNumbersMatchOnlyTheSameDigits)
{
    const CEOID voicemail = addContact({{PIMPR_HOME_TELEPHONE_NUMBER, u"1234"}});
    const CEOID service = addContact({{PIMPR_BUSINESS_TELEPHONE_NUMBER, u"11 8 33"}});
    addContact({{PIMPR_MOBILE_TELEPHONE_NUMBER, u"555 1234"}});  // ends in 1234 but is long

    EXPECT_EQ(voicemail, find(u"1234").oid);
    EXPECT_EQ(service, find(u"11833").oid);
    EXPECT_EQ(PIMPR_BUSINESS_TELEPHONE_NUMBER, find(u"(118) 33").phone);
    EXPECT_EQ(kNotFound, find(u"01234").hr);  // both short and not equal
    EXPECT_EQ(kNotFound, find(u"234").hr);
    EXPECT_EQ(kNotFound, find(u"1833").hr);
}

TEST_F(FindContactTest, LongestRunOfFinalDigitsWins)
{
    const CEOID national = addContact({{PIMPR_MOBILE_TELEPHONE_NUMBER, u"030 1234567"}});
    const CEOID international = addContact({{PIMPR_HOME_TELEPHONE_NUMBER, u"+49 30 1234567"}});
    const CEOID other = addContact({{PIMPR_BUSINESS_TELEPHONE_NUMBER, u"+1 212 1234567"}});

    EXPECT_EQ(international, find(u"+49301234567").oid);  // 11 digits in common beats 9
    EXPECT_EQ(national, find(u"0301234567").oid);         // the whole number beats 9
    EXPECT_EQ(other, find(u"2121234567").oid);
    // As many final digits in common with several: the oldest contact.
    EXPECT_EQ(national, find(u"1234567").oid);
    EXPECT_EQ(national, find(u"+44 20 1234567").oid);
}

TEST_F(FindContactTest, ReportsWhichPhonePropertyMatched)
{
    const CEOID oid = addContact({{PIMPR_MOBILE_TELEPHONE_NUMBER, u"0171 1111111"},
                                  {PIMPR_BUSINESS_TELEPHONE_NUMBER, u"089 2222222"},
                                  {PIMPR_HOME_FAX_NUMBER, u"089 3333333"},
                                  {PIMPR_PAGER_NUMBER, u"089 2222222"}});
    EXPECT_EQ(PIMPR_MOBILE_TELEPHONE_NUMBER, find(u"01711111111").phone);
    EXPECT_EQ(PIMPR_HOME_FAX_NUMBER, find(u"0893333333").phone);
    // The same number twice on one card: the card's order decides.
    const Match both = find(u"0892222222");
    EXPECT_EQ(oid, both.oid);
    EXPECT_EQ(PIMPR_BUSINESS_TELEPHONE_NUMBER, both.phone);

    // The reported property reads back as the number stored.
    EXPECT_EQ(u"089 3333333", readString(oid, find(u"0893333333").phone));
}

TEST_F(FindContactTest, IndexFollowsSavesAndDeletes)
{
    const CEOID oid = addContact({{PIMPR_MOBILE_TELEPHONE_NUMBER, u"555 0001"}});
    ASSERT_EQ(oid, find(u"5550001").oid);
    {
        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        CEPROPVAL number = stringProp(PIMPR_MOBILE_TELEPHONE_NUMBER, u"555 0002");
        ASSERT_EQ(S_OK, item->SetProps(0, 1, &number));
        EXPECT_EQ(oid, find(u"5550001").oid);  // not saved yet
        ASSERT_EQ(S_OK, item->Save());
    }
    EXPECT_EQ(kNotFound, find(u"5550001").hr);
    EXPECT_EQ(oid, find(u"5550002").oid);
    {
        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        CEPROPVAL remove = stringProp(PIMPR_MOBILE_TELEPHONE_NUMBER, u"");
        remove.wFlags = CEDB_PROPDELETE;
        CEPROPVAL home = stringProp(PIMPR_HOME_TELEPHONE_NUMBER, u"no digits here");
        CEPROPVAL values[] = {remove, home};
        ASSERT_EQ(S_OK, item->SetProps(0, 2, values));
        ASSERT_EQ(S_OK, item->Save());
    }
    EXPECT_EQ(kNotFound, find(u"5550002").hr);

    const CEOID gone = addContact({{PIMPR_CAR_TELEPHONE_NUMBER, u"555 0003"}});
    ASSERT_EQ(gone, find(u"5550003").oid);
    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(gone, item));
    ASSERT_EQ(S_OK, item->Delete());
    EXPECT_EQ(kNotFound, find(u"5550003").hr);
}

TEST_F(FindContactTest, LookupWorkDoesNotGrowWithTheContacts)
{
    // Every storage step is counted; a lookup that walked the contacts would
    // take more of them as the volume grows.
    auto stepsOfOneLookup = [&](const std::u16string& number) {
        faults::failStep(faults::Store::Contacts, 0, faults::Fault::IoError);
        EXPECT_EQ(S_OK, find(number).hr);
        return faults::stepsTaken(faults::Store::Contacts);
    };
    auto addNumbered = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            std::string number = "0000" + std::to_string(i);
            number = "0170 100" + number.substr(number.size() - 4);
            addContact({{PIMPR_MOBILE_TELEPHONE_NUMBER, std::u16string(number.begin(), number.end())}});
        }
    };
    addNumbered(0, 10);
    const int few = stepsOfOneLookup(u"01701000005");
    addNumbered(10, 2000);
    EXPECT_EQ(few, stepsOfOneLookup(u"01701000005"));
    EXPECT_EQ(few, stepsOfOneLookup(u"01701001999"));
}

TEST_F(FindContactTest, RefusesOtherFlagsAndForeignApplications)
{
    addContact({{PIMPR_MOBILE_TELEPHONE_NUMBER, u"5551234"}});
    IItem* item = reinterpret_cast<IItem*>(0xdeadbeef);
    EXPECT_EQ(E_INVALIDARG, FindMatchingContact(app_.get(), u"5551234", 2, &item, nullptr));
    EXPECT_EQ(nullptr, item);
    EXPECT_EQ(E_INVALIDARG, FindMatchingContact(nullptr, u"5551234", FMCF_FINDPHONE, &item, nullptr));
    EXPECT_EQ(E_INVALIDARG, FindMatchingContact(app_.get(), nullptr, FMCF_FINDPHONE, &item, nullptr));

    ComPtr<IPOutlookApp> loggedOff;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                                     loggedOff.outVoid()));
    EXPECT_EQ(E_UNEXPECTED, FindMatchingContact(loggedOff.get(), u"5551234", FMCF_FINDPHONE, &item, nullptr));
    ASSERT_EQ(S_OK, loggedOff->Logon(0));
    EXPECT_EQ(S_OK, FindMatchingContact(loggedOff.get(), u"5551234", FMCF_FINDPHONE, &item, nullptr));
    item->Release();
}

}  // namespace
}  // namespace handset::testing
