// The rule client as the messaging host runs it: created through COM from
// its registration, given the messages the device's own store filed, and
// unloaded only once nothing of it is alive.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <handset/message_store.h>

#include "sms_fixture.h"

namespace {

using namespace smeldry::testing;
using namespace std::string_literals;
using Strings = std::vector<std::string>;

class RuleClientInHostTest : public SmsTest {
protected:
    void SetUp() override
    {
        SmsTest::SetUp();
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{6C1E2A90-3B7D-4E5F-9A12-7D4C0B8E5F31}\\InProcServer32", 0,
                                 nullptr, 0, 0, nullptr, &key, nullptr));
        setString(key, u"", handset::fromUtf8(SMELDRY_DLL));
        RegCloseKey(key);
        ASSERT_EQ(S_OK, handset::openMessageStore(&store_));
    }
    void TearDown() override
    {
        if (store_)
            store_->Release();
        SmsTest::TearDown();
    }

    Delivery process(IMailRuleClient* client, std::u16string_view sender, std::u16string_view text)
    {
        const handset::FiledMessage filed = handset::fileMessage(sender, text);
        EXPECT_TRUE(filed.ok());
        std::vector<BYTE> id = filed.entryId;
        Delivery d;
        ULONG eventType = 0;
        d.hr = client->ProcessMessage(store_, static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(id.data()),
                                      0, nullptr, &eventType, &d.handled);
        return d;
    }

    bool unloaded()
    {
        for (const std::string& line : log_.lines("com"))
            if (line.find("Smeldry.dll") != std::string::npos)
                return true;
        return false;
    }

    IMsgStore* store_ = nullptr;
};

TEST_F(RuleClientInHostTest, AlertsStoredMessagesAndUnloadsWhenReleased)
{
    addContact(u"+49 151 1234-5678", u"\\My Documents\\My Ringtones\\Bell.wav");
    void* object = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(smeldry::CLSID_SmsToneService, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IMailRuleClient, &object));
    auto* client = static_cast<IMailRuleClient*>(object);
    MRCACCESS access = MRC_ACCESS_NONE;
    EXPECT_EQ(S_OK, client->Initialize(store_, &access));
    EXPECT_EQ(MRC_ACCESS_WRITE, access);

    const struct {
        std::u16string sender;
        std::u16string text;
        const char* tone;
    } cases[] = {
        {u"Anna <+4915112345678>", u"Hello", "\\My Documents\\My Ringtones\\Bell.wav"},
        {u"+4915112345678", u"", "\\My Documents\\My Ringtones\\Bell.wav"},  // an empty text is still a text
        {u"Anna\0 <+4915112345678>"s, u"NUL", "\\Windows\\Unknown.wav"},
        {u"Anna <+" + std::u16string(10000, u'5') + u">", u"long", "\\Windows\\Unknown.wav"},
        {u"1' OR '1'='1", u"'; DROP TABLE messages; --", "\\Windows\\Unknown.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(handset::toUtf8(c.sender.substr(0, 30)));
        log_.skip();
        const Delivery d = process(client, c.sender, c.text);
        EXPECT_EQ(S_OK, d.hr);
        EXPECT_EQ(MRC_NOT_HANDLED, d.handled);
        EXPECT_EQ(Strings{c.tone}, playerStarts());
        EXPECT_EQ(Strings{}, traced());
    }

    // A living rule client keeps its library loaded.
    log_.skip();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(unloaded());

    EXPECT_EQ(0u, client->Release());
    EXPECT_EQ((Strings{"CMailRuleClient reference is now 0", "CMailRuleClient Deleted!"}), traced());
    CoFreeUnusedLibraries();
    EXPECT_TRUE(unloaded());
}

}  // namespace
