// The sender's address comes from the network: whatever it holds, the
// message is alerted with the fallback tone (or its sender's, where the
// address does end in a contact's number), and the contacts and settings
// are left as they were.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <handset/contacts_admin.h>

#include "sms_fixture.h"

namespace {

using namespace smeldry::testing;
using namespace std::string_literals;
using Strings = std::vector<std::string>;

using HostileSenderTest = SmsTest;

TEST_F(HostileSenderTest, AddressesOfAnyShapeGetTheFallbackTone)
{
    addContact(u"+49 151 1234-5678", u"\\Anna.wav", settings::PriorityVip, u"Family");
    const std::u16string sqlQuote = u"'; DELETE FROM contacts; --";
    const std::u16string hostile[] = {
        std::u16string(10000, u'7'),
        u"Anna <+" + std::u16string(10000, u'8') + u">",
        std::u16string(10000, u'<'),
        std::u16string(10000, u'>'),
        std::u16string(10000, u'x'),
        u"Private",
        u"<",
        u"+",
        u"\"Anna\" <\"+49\">",
        u"Robert'); DROP TABLE contacts;-- <1' OR '1'='1>",
        sqlQuote,
        u"%s%s%s%n <%d>",
        u"\\..\\..\\etc\\passwd",
        u"\xD800\xDFFF\xDC00 <\xFFFF>",
        u"Anna\0 <+4915112345678>"s,  // what follows a NUL is not seen
    };
    const std::size_t before = handset::contacts::listContacts().contacts.size();
    for (const std::u16string& sender : hostile) {
        SCOPED_TRACE(handset::toUtf8(sender.substr(0, 40)));
        log_.skip();
        const Delivery d = send(sender);
        EXPECT_EQ(S_OK, d.hr);
        EXPECT_EQ(MRC_NOT_HANDLED, d.handled);
        EXPECT_EQ(Strings{"\\Windows\\Unknown.wav"}, playerStarts());
        EXPECT_EQ(settings::PriorityNormal, client_->decisionState().priority);
        EXPECT_EQ(Strings{}, traced());
    }
    EXPECT_EQ(before, handset::contacts::listContacts().contacts.size());
    settings::TonePath tone;
    settings::readClassSmsTone(settings::UnknownCaller, tone);
    EXPECT_EQ(kUnknownTone, tone);
}

TEST_F(HostileSenderTest, LongAddressEndingInAContactsNumberFindsTheContact)
{
    addContact(u"+49 151 1234-5678", u"\\Anna.wav");
    send(u"Anna <+" + std::u16string(9990, u'9') + u"4915112345678>");
    send(std::u16string(9990, u'x') + u"4915112345678");
    EXPECT_EQ((Strings{"\\Anna.wav", "\\Anna.wav"}), playerStarts());
}

}  // namespace
