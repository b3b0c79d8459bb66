// `handset sms` end to end, with real processes: a booted device whose
// messaging host has a rule client enrolled, messages from the command
// line, what the command prints and what the device log shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <handset/com.h>
#include <handset/device.h>
#include <handset/mapi.h>
#include <handset/registry.h>
#include <handset/wstring.h>

#include "../../inbox/tests/test_rule_client.h"
#include "run_program.h"
#include "test_device.h"

namespace {

namespace fs = std::filesystem;
using handset::testing::Outcome;

void setValue(HKEY root, const std::u16string& keyName, const std::u16string& name, DWORD type, const void* data,
              DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(root, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

void setDword(HKEY root, const std::u16string& keyName, const std::u16string& name, DWORD value)
{
    setValue(root, keyName, name, REG_DWORD, &value, sizeof value);
}

class SmsCommand : public ::testing::Test {
protected:
    fs::path phone() const { return scratch_.root() / "phone"; }

    void SetUp() override
    {
        ::setenv("HANDSET_AUDIO", "none", 1);
        const Outcome init = handset({"init"});
        ASSERT_EQ(0, init.status) << init.err;
        handset::setDeviceRoot(phone());
    }
    void TearDown() override
    {
        handset({"shutdown"});
        ::unsetenv("HANDSET_AUDIO");
    }

    Outcome handset(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {HANDSET_BIN, "--device", phone().string()});
        return ::handset::testing::runProgram(std::move(arguments), scratch_.root());
    }

    // The test's rule client, registered and enrolled as an installation
    // package would do it.
    void enrolTestClient()
    {
        const std::u16string library = handset::fromUtf8(TEST_RULE_CLIENT);
        setValue(HKEY_CLASSES_ROOT, u"CLSID\\" + handset::formatGuid(CLSID_TestRuleClient) + u"\\InProcServer32", u"",
                 REG_SZ, library.c_str(), static_cast<DWORD>((library.size() + 1) * sizeof(WCHAR)));
        setDword(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules",
                 handset::formatGuid(CLSID_TestRuleClient), 1);
    }

    void boot()
    {
        const Outcome run = handset({"boot"});
        ASSERT_EQ(0, run.status) << run.err;
        ASSERT_NE(std::string::npos, run.out.find("inbox (pid ")) << run.out;
    }

    std::string log() { return handset::testing::slurp(phone() / "log" / "device.log"); }

    // Sends bytes to the messaging host's socket as any local program could,
    // then closes the sending side and reads the whole answer.
    std::string rawRequest(const std::string& bytes)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = (phone() / "run" / "inbox.sock").string();
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(0, ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address)) << path;
        EXPECT_EQ(static_cast<ssize_t>(bytes.size()), ::write(fd, bytes.data(), bytes.size()));
        ::shutdown(fd, SHUT_WR);
        std::string reply;
        char buffer[1024];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            reply.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
        return reply;
    }

    handset::testing::TempDevice scratch_;
};

TEST_F(SmsCommand, NeedsARunningDeviceAndAnAddress)
{
    Outcome run = handset({"sms", "--from", "+4915112345678"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("handset: device is not running; run `handset boot`\n", run.err);
    EXPECT_EQ("", run.out);

    run = handset({"sms", "--text", "Hi"});
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("--from")) << run.err;

    run = handset({"sms", "--help"});
    EXPECT_EQ(0, run.status);
    for (const char* word : {"--from", "--text", "sound=on|off", "wave=PATH", "vibrate=on|off", "display=on|off"})
        EXPECT_NE(std::string::npos, run.out.find(word)) << word << "\n" << run.out;
}

TEST_F(SmsCommand, PrintsTheNotificationRaisedAfterTheRuleClients)
{
    enrolTestClient();
    // The rule client switches the sound off and vibrates, as the SMS tone
    // service does when its tone player plays instead.
    setDword(HKEY_CURRENT_USER, kTestRuleClientKey, u"Options", 0x2 | 0x8);
    boot();

    Outcome run = handset({"sms", "--from", "Anna <+4915112345678>", "--text", "See you at eight"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("sound=off\nwave=\\Windows\\Alert.wav\nvibrate=on\ndisplay=on\n", run.out);
    std::string text = log();
    const std::size_t traced = text.find("debug: test rule client: message from Anna <+4915112345678>: See you at eight");
    const std::size_t notified = text.find(
        "notify: new message 1 from \"Anna <+4915112345678>\": sound=off wave=\\Windows\\Alert.wav vibrate=on "
        "display=on");
    ASSERT_NE(std::string::npos, traced) << text;
    ASSERT_NE(std::string::npos, notified) << text;
    EXPECT_LT(traced, notified);
    EXPECT_NE(std::string::npos, text.find("inbox[")) << "the host's own lines are signed by it";

    // With the sound bit the phone's own sound plays.
    setDword(HKEY_CURRENT_USER, kTestRuleClientKey, u"Options", 0x1 | 0x8);
    run = handset({"sms", "--from", "+4915112345678"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("sound=on\nwave=\\Windows\\Alert.wav\nvibrate=off\ndisplay=on\n", run.out);
    text = log();
    EXPECT_NE(std::string::npos, text.find("sound: notification of message 2: plays \"\\Windows\\Alert.wav\" once"))
        << text;

    run = handset({"status"});
    EXPECT_NE(std::string::npos, run.out.find("inbox")) << run.out;

    // Shutdown lets go of the rule client and unloads its library.
    run = handset({"shutdown"});
    ASSERT_EQ(0, run.status) << run.err;
    text = log();
    const std::size_t released = text.find("released rule client " + handset::formatGuidUtf8(CLSID_TestRuleClient));
    ASSERT_NE(std::string::npos, released) << text;
    EXPECT_NE(std::string::npos, text.find("com: unloaded " + std::string(TEST_RULE_CLIENT), released)) << text;

    run = handset({"sms", "--from", "+4915112345678"});
    EXPECT_EQ(1, run.status);
}

// Addresses are whatever the network sends: each one is delivered, filed and
// announced without harm to the host, its store or its log.
TEST_F(SmsCommand, HostileAddressesAreDeliveredWithoutHarm)
{
    enrolTestClient();
    boot();
    const std::vector<std::string> senders = {
        std::string(10000, '5'), "no digits at all", "\"Quoted\" <'+49151'>", "'); DROP TABLE messages; --",
        "Robert\"); DELETE FROM message_props; --", "",
    };
    for (const std::string& sender : senders) {
        SCOPED_TRACE(sender.substr(0, 40));
        const Outcome run = handset({"sms", "--from", sender, "--text", sender});
        ASSERT_EQ(0, run.status) << run.err;
        EXPECT_EQ("sound=on\nwave=\\Windows\\Alert.wav\nvibrate=off\ndisplay=on\n", run.out);
    }
    const std::string text = log();
    std::size_t announced = 0;
    for (std::size_t at = 0; (at = text.find("notify: new message ", at)) != std::string::npos; ++at)
        ++announced;
    EXPECT_EQ(senders.size(), announced) << text;
    EXPECT_NE(std::string::npos, text.find("new message " + std::to_string(senders.size()) + " from \"\"")) << text;
    EXPECT_NE(std::string::npos, text.find("(10000 characters)")) << text;
    // The host still serves after all of them.
    EXPECT_EQ(0, handset({"sms", "--from", "+4915112345678"}).status);
}

// The host's socket is open to every program of the device: requests that
// are not messages are refused one by one, and a message carrying NUL
// characters is filed like any other.
TEST_F(SmsCommand, TheHostRefusesMalformedRequestsAndGoesOn)
{
    boot();
    EXPECT_EQ("error the request is not a message\n", rawRequest("garbage\n"));
    EXPECT_EQ("error the request is not a message\n", rawRequest("deliver 1 2 3\nabc"));
    EXPECT_EQ("error the request is not a message\n", rawRequest(std::string(200, 'x')));
    EXPECT_EQ("error the message is longer than 262144 bytes\n", rawRequest("deliver 999999999 0\n"));
    EXPECT_EQ("error the message was cut short\n", rawRequest("deliver 10 0\nabc"));
    EXPECT_EQ("error the request could not be read\n", rawRequest(""));

    const std::string withNul("deliver 12 3\nEve\0<+49151>a\0b", 13 + 12 + 3);
    EXPECT_EQ("ok\nsound=on\nwave=\\Windows\\Alert.wav\nvibrate=off\ndisplay=on\n", rawRequest(withNul));
    const std::string text = log();
    EXPECT_EQ(std::string::npos, text.find('\0'));
    EXPECT_NE(std::string::npos, text.find("notify: new message 1 from \"Eve?<+49151>\"")) << text;
    EXPECT_EQ(0, handset({"sms", "--from", "+4915112345678"}).status);
}

}  // namespace
