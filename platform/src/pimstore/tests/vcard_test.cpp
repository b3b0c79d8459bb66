// vCard files as phones and address books write them, in the three
// versions, and malformed ones, which must import nothing.

#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/faults.h>

#include "contacts_fixture.h"

namespace handset::testing {
namespace {

using namespace handset::contacts;

std::vector<BYTE> bytes(std::initializer_list<int> values)
{
    std::vector<BYTE> out;
    for (int v : values)
        out.push_back(static_cast<BYTE>(v));
    return out;
}

// An Android-style 2.1 card: quoted-printable UTF-8 with a soft line break,
// bare parameters, a folded line that keeps its blank, a base64 photo that
// runs on without folding until a blank line.
constexpr std::string_view kVersion21 =
    "BEGIN:VCARD\r\n"
    "VERSION:2.1\r\n"
    "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BCrgen;Karl;;\r\n"
    "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller mit einem langen Na=\r\n"
    "men\r\n"
    "TEL;CELL;VOICE:+49 151 1234567\r\n"
    "TEL;WORK:089 123456\r\n"
    "TEL;HOME:030 7654321\r\n"
    "ORG:Schmidt\r\n"
    " & Partner\r\n"
    "CATEGORIES:Family;Work\r\n"
    "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4A\r\n"
    "AQSkZJRg==\r\n"
    "\r\n"
    "END:VCARD\r\n";

// A 3.0 card: escapes, TYPE lists, folding that drops one blank, ENCODING=b.
constexpr std::string_view kVersion30 =
    "BEGIN:VCARD\n"
    "VERSION:3.0\n"
    "N:O'Neil;Mary\\, Jane;;Dr.;\n"
    "FN:Dr. Mary\\, Jane O'Ne\n"
    " il\n"
    "ORG:Big Corp;Sales\n"
    "item1.TEL;TYPE=cell,voice:+1 (555) 010-9999\n"
    "TEL;TYPE=HOME:555 0100\n"
    "TEL;type=WORK;type=FAX:555 0101\n"
    "CATEGORIES:Friends,Golf\n"
    "PHOTO;ENCODING=b;TYPE=PNG:iVBORw0K\n"
    " GgoAAA==\n"
    "EMAIL;TYPE=INTERNET:mary@example.com\n"
    "END:VCARD\n";

// A 4.0 card: no N, UTF-8 text as it stands, quoted TYPE lists, tel: and
// data: URIs.
constexpr std::string_view kVersion40 =
    "BEGIN:VCARD\n"
    "VERSION:4.0\n"
    "FN:Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m\n"
    "TEL;VALUE=uri;TYPE=\"voice,work\":tel:+1-555-555-1234;ext=5\n"
    "TEL;TYPE=cell;PREF=1:tel:+44 7700 900123\n"
    "PHOTO:data:image/png;base64,iVBORw0KGgo=\n"
    "CATEGORIES:VIP\n"
    "END:VCARD\n";

TEST(VCardParseTest, Version21WithQuotedPrintableFoldingAndPhoto)
{
    const auto result = parseVCards(kVersion21);
    ASSERT_TRUE(result.ok()) << result.error->line << ": " << result.error->message;
    ASSERT_EQ(1u, result.cards.size());
    const ContactChanges& card = result.cards[0];
    EXPECT_EQ(std::optional<std::u16string>(u"M\u00fcller"), card.lastName);
    EXPECT_EQ(std::optional<std::u16string>(u"J\u00fcrgen"), card.firstName);
    EXPECT_EQ(std::optional<std::u16string>(u"Karl"), card.middleName);
    EXPECT_EQ(std::optional<std::u16string>(u"Schmidt & Partner"), card.company);
    const PhoneNumbers phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"+49 151 1234567"},
                                 {PIMPR_BUSINESS_TELEPHONE_NUMBER, u"089 123456"},
                                 {PIMPR_HOME_TELEPHONE_NUMBER, u"030 7654321"}};
    EXPECT_EQ(phones, card.phones);
    EXPECT_EQ(std::optional<std::u16string>(u"Family,Work"), card.categories);
    EXPECT_EQ(bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46}), card.picture);
    EXPECT_TRUE(result.notes.empty());
}

TEST(VCardParseTest, Version30WithEscapesTypeListsAndFolding)
{
    const auto result = parseVCards(kVersion30);
    ASSERT_TRUE(result.ok()) << result.error->line << ": " << result.error->message;
    ASSERT_EQ(1u, result.cards.size());
    const ContactChanges& card = result.cards[0];
    EXPECT_EQ(std::optional<std::u16string>(u"O'Neil"), card.lastName);
    EXPECT_EQ(std::optional<std::u16string>(u"Mary, Jane"), card.firstName);
    EXPECT_EQ(std::nullopt, card.middleName);
    EXPECT_EQ(std::optional<std::u16string>(u"Big Corp"), card.company);
    const PhoneNumbers phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"+1 (555) 010-9999"},
                                 {PIMPR_HOME_TELEPHONE_NUMBER, u"555 0100"},
                                 {PIMPR_BUSINESS_FAX_NUMBER, u"555 0101"}};
    EXPECT_EQ(phones, card.phones);
    EXPECT_EQ(std::optional<std::u16string>(u"Friends,Golf"), card.categories);
    EXPECT_EQ(bytes({0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00}), card.picture);
}

TEST(VCardParseTest, Version40WithUrisAndOnlyAFormattedName)
{
    const auto result = parseVCards(kVersion40);
    ASSERT_TRUE(result.ok()) << result.error->line << ": " << result.error->message;
    ASSERT_EQ(1u, result.cards.size());
    const ContactChanges& card = result.cards[0];
    EXPECT_EQ(std::optional<std::u16string>(u"Zo\u00eb \u00c5ngstr\u00f6m"), card.firstName);
    EXPECT_EQ(std::nullopt, card.lastName);
    const PhoneNumbers phones = {{PIMPR_BUSINESS_TELEPHONE_NUMBER, u"+1-555-555-1234"},
                                 {PIMPR_MOBILE_TELEPHONE_NUMBER, u"+44 7700 900123"}};
    EXPECT_EQ(phones, card.phones);
    EXPECT_EQ(std::optional<std::u16string>(u"VIP"), card.categories);
    EXPECT_EQ(bytes({0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}), card.picture);
}

TEST(VCardParseTest, OtherCharsetsAreConvertedAndCompanyOnlyCardsKeepNoName)
{
    const auto result = parseVCards("BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=ISO-8859-1:M\xFCller;Hans\nEND:VCARD\n"
                                    "BEGIN:VCARD\nVERSION:3.0\nFN:Pizza Roma\nORG:Pizza Roma\nEND:VCARD\n");
    ASSERT_TRUE(result.ok()) << result.error->line << ": " << result.error->message;
    ASSERT_EQ(2u, result.cards.size());
    EXPECT_EQ(std::optional<std::u16string>(u"M\u00fcller"), result.cards[0].lastName);
    EXPECT_EQ(std::optional<std::u16string>(u"Pizza Roma"), result.cards[1].company);
    EXPECT_EQ(std::nullopt, result.cards[1].firstName);
}

TEST(VCardParseTest, CardsInsideACardAreSkippedWhole)
{
    const auto result = parseVCards("BEGIN:VCARD\nVERSION:2.1\nN:Boss;Big\nAGENT:\n"
                                    "BEGIN:VCARD\nVERSION:2.1\nN:Assistant;Al\nTEL:555 9999\nEND:VCARD\n"
                                    "TEL;WORK:555 1111\nEND:VCARD\n");
    ASSERT_TRUE(result.ok()) << result.error->line << ": " << result.error->message;
    ASSERT_EQ(1u, result.cards.size());
    EXPECT_EQ(std::optional<std::u16string>(u"Boss"), result.cards[0].lastName);
    EXPECT_EQ((PhoneNumbers{{PIMPR_BUSINESS_TELEPHONE_NUMBER, u"555 1111"}}), result.cards[0].phones);
}

TEST(VCardParseTest, NumbersBeyondTheCardsSlotsAreNoted)
{
    std::string text = "BEGIN:VCARD\nVERSION:3.0\nFN:Many\n";
    for (int i = 0; i < 13; ++i)
        text += "TEL;TYPE=cell:555 01" + std::to_string(10 + i) + "\n";
    text += "CATEGORIES:A\\,B,C\nEND:VCARD\n";
    const auto result = parseVCards(text);
    ASSERT_TRUE(result.ok()) << result.error->line << ": " << result.error->message;
    EXPECT_EQ(std::size(kContactPhoneProperties), result.cards[0].phones.size());
    EXPECT_EQ(std::optional<std::u16string>(u"C"), result.cards[0].categories);
    ASSERT_EQ(2u, result.notes.size());
    EXPECT_EQ(16, result.notes[0].line);  // the 13th number
    EXPECT_EQ(17, result.notes[1].line);  // the category with a comma
}

TEST(VCardParseTest, MalformedCardsAreReportedWithTheirLine)
{
    const std::string good = "BEGIN:VCARD\nVERSION:3.0\nFN:Good\nEND:VCARD\n";
    struct Case {
        std::string text;
        int line;
    } cases[] = {
        {"BEGIN:VCARD\nVERSION:3.0\nFN:No end\n", 1},
        {"BEGIN:VCARD\nVERSION:3.0\nFN No colon\nEND:VCARD\n", 3},
        {"BEGIN:VCARD\nVERSION:2.1\nN;ENCODING=QUOTED-PRINTABLE:M=ZZller\nEND:VCARD\n", 3},
        {"BEGIN:VCARD\nVERSION:2.1\nN;QUOTED-PRINTABLE:Ends in =4\nEND:VCARD\n", 3},
        {"BEGIN:VCARD\nVERSION:3.0\nPHOTO;ENCODING=b:ab$d\nEND:VCARD\n", 3},
        {"BEGIN:VCARD\nVERSION:4.0\nPHOTO:data:image/png,raw\nEND:VCARD\n", 3},
        {"BEGIN:VCARD\nVERSION:5.0\nFN:Future\nEND:VCARD\n", 2},
        {"BEGIN:VCARD\nFN:No version\nEND:VCARD\n", 1},
        {"BEGIN:VCARD\nVERSION:3.0\nFN:M\xFCller\nEND:VCARD\n", 3},
        {"BEGIN:VCARD\nVERSION:3.0\nN;CHARSET=X-NONE:A\nEND:VCARD\n", 3},
        {"BEGIN:VCARD\nVERSION:3.0\nN;ENCODING=X-ZIP:A\nEND:VCARD\n", 3},
        {"BEGIN:VCARD\n FN:folded first\nVERSION:3.0\nEND:VCARD\n", 2},
        {"BEGIN:VCARD\nVERSION:3.0\nF N:x\nEND:VCARD\n", 3},
        {"Dear importer,\n" + good, 1},
        {good + "\n" + "BEGIN:VCARD\nVERSION:3.0\nTEL\nEND:VCARD\n", 8},
        {good + "END:VCARD\n", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto result = parseVCards(c.text);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(c.line, result.error->line) << result.error->message;
        EXPECT_FALSE(result.error->message.empty());
        EXPECT_TRUE(result.cards.empty());
    }
}

using VCardImportTest = ContactsTest;

TEST_F(VCardImportTest, ImportAddsEveryCardAndTheContactsAreFound)
{
    const std::string file = std::string(kVersion21) + std::string(kVersion30) + std::string(kVersion40);
    const auto result = importVCards(file);
    ASSERT_TRUE(result.ok()) << result.error->line << ": " << result.error->message;
    ASSERT_EQ(3u, result.added.size());
    EXPECT_EQ(3, contactCount());

    ComPtr<IItem> item;
    CEPROPID phone = 0;
    ASSERT_EQ(S_OK, FindMatchingContact(app_.get(), u"01511234567", FMCF_FINDPHONE, item.out(), &phone));
    EXPECT_EQ(PIMPR_MOBILE_TELEPHONE_NUMBER, phone);
    EXPECT_EQ(u"J\u00fcrgen", readString(item.get(), PIMPR_FIRST_NAME));

    const auto shown = showContact(result.added[1]);
    ASSERT_TRUE(shown.ok());
    EXPECT_EQ(u"O'Neil", shown.contact.lastName);
    EXPECT_EQ(10u, shown.contact.pictureBytes);

    const auto categories = listCategories();
    ASSERT_TRUE(categories.ok());
    std::vector<std::u16string> names;
    for (const auto& record : categories.categories)
        names.push_back(record.name);
    EXPECT_EQ((std::vector<std::u16string>{u"Family", u"Work", u"Friends", u"Golf", u"VIP"}), names);
}

TEST_F(VCardImportTest, OneMalformedCardImportsNothing)
{
    const std::string file = std::string(kVersion21) + std::string(kVersion30) +
                             "BEGIN:VCARD\nVERSION:3.0\nN:Broken\nTEL;TYPE=cell\nEND:VCARD\n";
    const auto result = importVCards(file);
    ASSERT_FALSE(result.ok());
    ASSERT_TRUE(result.error);
    EXPECT_EQ(33, result.error->line);
    EXPECT_TRUE(result.added.empty());
    EXPECT_EQ(0, contactCount());
    EXPECT_TRUE(listCategories().categories.empty());
}

TEST_F(VCardImportTest, AStorageFailureAnywhereImportsNothing)
{
    const std::string file = std::string(kVersion21) + std::string(kVersion30);
    int steps = 0;
    {
        TempDevice scratch;
        // Opening the volume is a step of the first call only; the walk
        // below runs on a volume already open, so it is not counted here.
        EXPECT_EQ(0, contactCount());
        faults::failStep(faults::Store::Contacts, 0, faults::Fault::IoError);
        ASSERT_TRUE(importVCards(file).ok());
        steps = faults::stepsTaken(faults::Store::Contacts);
    }
    setDeviceRoot(device_.root());
    EXPECT_EQ(0, contactCount());
    ASSERT_GT(steps, 10);
    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE(step);
        faults::failStep(faults::Store::Contacts, step, faults::Fault::DiskFull);
        const auto result = importVCards(file);
        faults::failStep(faults::Store::Contacts, 0, faults::Fault::IoError);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(ERROR_DISK_FULL, result.status);
        EXPECT_TRUE(result.added.empty());
        EXPECT_EQ(0, contactCount());
        EXPECT_TRUE(listCategories().categories.empty());
    }
    EXPECT_TRUE(importVCards(file).ok());
    EXPECT_EQ(2, contactCount());
}

TEST_F(VCardImportTest, UnreadableFileIsAnError)
{
    const auto result = importVCardFile(device_.root() / "missing.vcf");
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, result.status);
    EXPECT_EQ(0, contactCount());
}

}  // namespace
}  // namespace handset::testing
