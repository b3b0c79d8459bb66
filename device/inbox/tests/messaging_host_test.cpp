// The messaging host in process: which rule clients it loads, what each
// message goes through (filed, every rule client, the notification), and
// how it lets go of its clients.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <handset/com.h>
#include <handset/log.h>
#include <handset/registry.h>
#include <handset/wstring.h>

#include "messaging_host.h"
#include "run_program.h"
#include "test_device.h"
#include "test_rule_client.h"

namespace {

HKEY createKey(HKEY root, const std::u16string& name)
{
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyEx(root, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    return key;
}

void setString(HKEY root, const std::u16string& keyName, const char16_t* name, const std::u16string& value)
{
    HKEY key = createKey(root, keyName);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                           static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))));
    RegCloseKey(key);
}

void setDword(HKEY root, const std::u16string& keyName, const std::u16string& name, DWORD value)
{
    HKEY key = createKey(root, keyName);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
    RegCloseKey(key);
}

DWORD readOptions()
{
    HKEY key = nullptr;
    DWORD value = 0, size = 4, type = 0;
    RegOpenKeyEx(HKEY_CURRENT_USER, kSmsNotificationClassKey, 0, KEY_READ, &key);
    RegQueryValueEx(key, u"Options", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return value;
}

class MessagingHostTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        ::setenv("HANDSET_AUDIO", "none", 1);
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        for (const CLSID& clsid : {CLSID_TestRuleClient, CLSID_FailingRuleClient})
            setString(HKEY_CLASSES_ROOT, u"CLSID\\" + handset::formatGuid(clsid) + u"\\InProcServer32", nullptr,
                      handset::fromUtf8(TEST_RULE_CLIENT));
        setString(HKEY_CURRENT_USER, kSmsNotificationClassKey, u"Wave", u"\\Windows\\Alert.wav");
        setDword(HKEY_CURRENT_USER, kSmsNotificationClassKey, u"Options", 0x9);
    }
    void TearDown() override
    {
        host_.reset();
        CoUninitialize();
        ::unsetenv("HANDSET_AUDIO");
    }

    void enrol(const std::u16string& name, DWORD value) { setDword(HKEY_LOCAL_MACHINE, inbox::kSmsRulesKey, name, value); }
    void steer(const char16_t* name, DWORD value) { setDword(HKEY_CURRENT_USER, kTestRuleClientKey, name, value); }

    void start()
    {
        host_ = inbox::MessagingHost::start();
        ASSERT_NE(nullptr, host_);
    }

    std::string log() const { return handset::testing::slurp(handset::deviceLogPath()); }

    std::unique_ptr<inbox::MessagingHost> host_;
};

TEST_F(MessagingHostTest, LoadsTheEnrolledClientsAndSkipsTheRest)
{
    const CLSID unregistered = {0x7D3A1F62, 0x2B4C, 0x4E8D, {0x9F, 0x17, 0x5A, 0x6B, 0x8C, 0x9D, 0x0E, 0x21}};
    enrol(handset::formatGuid(CLSID_FailingRuleClient), 1);
    enrol(u"{7d3a1f60-2b4c-4e8d-9f17-5a6b8c9d0e21}", 1);  // the test client, in lower case
    enrol(handset::formatGuid(unregistered), 1);
    enrol(u"not a class id", 1);
    setString(HKEY_LOCAL_MACHINE, inbox::kSmsRulesKey, u"{7D3A1F63-2B4C-4E8D-9F17-5A6B8C9D0E21}", u"1");
    const CLSID switchedOff = {0x7D3A1F64, 0x2B4C, 0x4E8D, {0x9F, 0x17, 0x5A, 0x6B, 0x8C, 0x9D, 0x0E, 0x21}};
    enrol(handset::formatGuid(switchedOff), 0);
    start();

    const std::vector<CLSID> loaded = host_->ruleClients();
    ASSERT_EQ(1u, loaded.size());
    EXPECT_TRUE(IsEqualCLSID(CLSID_TestRuleClient, loaded[0]));
    const std::string text = log();
    for (const std::string line :
         {"rule client {7D3A1F61-2B4C-4E8D-9F17-5A6B8C9D0E21} failed to initialise (0x80004005); left out",
          "loaded rule client {7D3A1F60-2B4C-4E8D-9F17-5A6B8C9D0E21} (access 2)",
          "cannot create rule client {7D3A1F62-2B4C-4E8D-9F17-5A6B8C9D0E21} (0x80040154); messages are filed without it",
          "skipped the enrolment \"not a class id\": not a class id",
          "skipped the enrolment \"{7D3A1F63-2B4C-4E8D-9F17-5A6B8C9D0E21}\": not a DWORD",
          "rule client {7D3A1F64-2B4C-4E8D-9F17-5A6B8C9D0E21} is not enrolled (0)",
          "debug: test rule client: initialised"}) {
        SCOPED_TRACE(line);
        EXPECT_NE(std::string::npos, text.find(line)) << text;
    }
    EXPECT_EQ(text.find("test rule client: initialised"), text.rfind("test rule client: initialised"));

    // Messages are still filed and announced whatever failed to load.
    const inbox::Delivery delivery = host_->deliver(u"+4915112345678", u"Hi");
    EXPECT_TRUE(delivery.ok());
    EXPECT_TRUE(delivery.announced);
}

TEST_F(MessagingHostTest, EveryClientSeesTheMessageBeforeTheNotificationIsRaised)
{
    enrol(handset::formatGuid(CLSID_TestRuleClient), 1);
    steer(u"Options", 0x2 | 0x8 | 0x40);  // vibrate and show; another bit the host ignores
    start();

    inbox::Delivery delivery = host_->deliver(u"Anna <+4915112345678>", u"See you at eight");
    ASSERT_TRUE(delivery.ok());
    EXPECT_EQ(1, delivery.number);
    EXPECT_TRUE(delivery.announced);
    EXPECT_FALSE(delivery.notification.sound);
    EXPECT_TRUE(delivery.notification.vibrate);
    EXPECT_TRUE(delivery.notification.display);
    EXPECT_EQ(u"\\Windows\\Alert.wav", delivery.notification.wave);
    std::string text = log();
    const std::size_t traced = text.find("debug: test rule client: message from Anna <+4915112345678>: See you at eight");
    const std::size_t answered =
        text.find("rule client {7D3A1F60-2B4C-4E8D-9F17-5A6B8C9D0E21} on message 1: 0x00000000, not handled");
    const std::size_t notified = text.find(
        "notify: new message 1 from \"Anna <+4915112345678>\": sound=off wave=\\Windows\\Alert.wav vibrate=on "
        "display=on");
    ASSERT_NE(std::string::npos, traced) << text;
    ASSERT_NE(std::string::npos, answered) << text;
    ASSERT_NE(std::string::npos, notified) << text;
    EXPECT_LT(traced, answered);
    EXPECT_LT(answered, notified);
    EXPECT_EQ(std::string::npos, text.find("sound: ")) << "nothing is played without the sound bit";

    // With the sound bit the notification's sound is played.
    steer(u"Options", 0x1);
    delivery = host_->deliver(u"+4915112345678", u"again");
    EXPECT_TRUE(delivery.notification.sound);
    EXPECT_EQ(0x1u, readOptions());
    host_.reset();  // the sound has played out, or is cut short
    text = log();
    EXPECT_NE(std::string::npos, text.find("sound: notification of message 2: ")) << text;
    EXPECT_NE(std::string::npos, text.find("\\Windows\\Alert.wav\"", text.find("sound: "))) << text;
}

TEST_F(MessagingHostTest, AHandledMessageIsNotAnnounced)
{
    enrol(handset::formatGuid(CLSID_TestRuleClient), 1);
    steer(u"Handled", MRC_HANDLED_DONTCONTINUE);
    start();
    const inbox::Delivery delivery = host_->deliver(u"+4915112345678", u"Hi");
    ASSERT_TRUE(delivery.ok());
    EXPECT_FALSE(delivery.announced);
    EXPECT_FALSE(delivery.notification.sound || delivery.notification.vibrate || delivery.notification.display);
    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("message 1 was handled by a rule client; no notification")) << text;
    EXPECT_EQ(std::string::npos, text.find("notify: ")) << text;
}

TEST_F(MessagingHostTest, WithoutEnrolmentsMessagesAreStillAnnounced)
{
    start();
    EXPECT_TRUE(host_->ruleClients().empty());
    const inbox::Delivery delivery = host_->deliver(u"", u"");
    ASSERT_TRUE(delivery.ok());
    EXPECT_TRUE(delivery.announced);
    EXPECT_TRUE(delivery.notification.sound);
    EXPECT_TRUE(delivery.notification.display);
    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("no rule clients are enrolled for text messages")) << text;
    EXPECT_NE(std::string::npos, text.find("notify: new message 1 from \"\": sound=on")) << text;
}

// Senders come from the network: the host files and hands on whatever they
// hold, and its log shows them without letting them break its lines.
TEST_F(MessagingHostTest, HostileSendersAreHandledWithoutHarm)
{
    enrol(handset::formatGuid(CLSID_TestRuleClient), 1);
    start();
    const std::u16string senders[] = {
        std::u16string(10000, u'7'),
        u"no digits here",
        std::u16string(u"Eve\0<+49151>\r\nforged: line", 26),
        u"\"Quoted\" <'+49151'>",
        u"'); DROP TABLE messages; --",
    };
    std::int64_t number = 0;
    for (const auto& sender : senders) {
        SCOPED_TRACE(handset::toUtf8(sender.substr(0, 30)));
        const inbox::Delivery delivery = host_->deliver(sender, u"text");
        ASSERT_TRUE(delivery.ok());
        EXPECT_EQ(++number, delivery.number);
        EXPECT_TRUE(delivery.announced);
    }
    const std::string text = log();
    EXPECT_EQ(std::string::npos, text.find('\0'));
    EXPECT_EQ(std::string::npos, text.find("\nforged")) << text;
    EXPECT_NE(std::string::npos, text.find("from \"" + std::string(80, '7') + "\" (10000 characters)")) << text;
    EXPECT_NE(std::string::npos, text.find("from \"Eve?<+49151>??forged: line\"")) << text;
    EXPECT_NE(std::string::npos, text.find("from \"'); DROP TABLE messages; --\"")) << text;
}

TEST_F(MessagingHostTest, StoppingReleasesTheClientsAndUnloadsTheirLibrary)
{
    enrol(handset::formatGuid(CLSID_TestRuleClient), 1);
    start();
    ASSERT_TRUE(host_->deliver(u"+4915112345678", u"Hi").ok());
    host_.reset();
    const std::string text = log();
    const std::size_t released =
        text.find("released rule client {7D3A1F60-2B4C-4E8D-9F17-5A6B8C9D0E21} (0 references left)");
    const std::size_t unloaded = text.find("com: unloaded " + std::string(TEST_RULE_CLIENT));
    ASSERT_NE(std::string::npos, released) << text;
    ASSERT_NE(std::string::npos, unloaded) << text;
    EXPECT_LT(text.find("debug: test rule client: deleted"), released);
    EXPECT_LT(released, unloaded);
}

}  // namespace
