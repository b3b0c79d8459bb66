#include "messaging_host.h"

#include <cstdio>
#include <optional>

#include <handset/log.h>
#include <handset/message_store.h>
#include <handset/registry.h>
#include <handset/wstring.h>

namespace inbox {

namespace {

std::string hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

void log(const std::string& text)
{
    handset::logLine("inbox", text);
}

const char* handledName(MRCHANDLED handled)
{
    switch (handled) {
    case MRC_NOT_HANDLED:
        return "not handled";
    case MRC_HANDLED_CONTINUE:
        return "handled, continue";
    case MRC_HANDLED_DONTCONTINUE:
        return "handled, don't continue";
    }
    return "an unknown answer, taken as not handled";
}

// A REG_DWORD of the notification class; nothing when it cannot be read.
std::optional<DWORD> readDword(HKEY key, const char16_t* name)
{
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

// A REG_SZ up to its first terminator; empty when it cannot be read.
std::u16string readString(HKEY key, const char16_t* name)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return {};
    std::u16string text(size / sizeof(WCHAR), u'\0');
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return {};
    text.resize(size / sizeof(WCHAR));
    if (const std::size_t end = text.find(u'\0'); end != std::u16string::npos)
        text.resize(end);
    return text;
}

// The file a notification sound names: a device path as it is; a bare name
// ("Alarm1") is one of the phone's sounds in "\Windows", a WAV file unless
// it says otherwise.
std::u16string soundFile(const std::u16string& wave)
{
    if (wave.empty() || wave.front() == u'\\')
        return wave;
    std::u16string path = u"\\Windows\\" + wave;
    if (wave.find(u'.') == std::u16string::npos)
        path += u".wav";
    return path;
}

}  // namespace

std::string describeSender(std::u16string_view sender)
{
    constexpr std::size_t kShown = 80;
    std::u16string shown(sender.substr(0, kShown));
    for (char16_t& c : shown)
        if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF))
            c = u'?';
    std::string text = "\"" + handset::toUtf8(shown) + "\"";
    if (sender.size() > kShown)
        text += " (" + std::to_string(sender.size()) + " characters)";
    return text;
}

std::unique_ptr<MessagingHost> MessagingHost::start()
{
    IMsgStore* store = nullptr;
    if (const HRESULT hr = handset::openMessageStore(&store); FAILED(hr)) {
        log("cannot open the message store (" + hex(hr) + ")");
        return nullptr;
    }
    std::unique_ptr<MessagingHost> host(new MessagingHost(store));
    host->loadRuleClients();
    return host;
}

void MessagingHost::loadRuleClients()
{
    HKEY rules = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSmsRulesKey, 0, KEY_READ, &rules) != ERROR_SUCCESS) {
        log("no rule clients are enrolled for text messages");
        return;
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[MAX_VALUE_NAME + 1];
        DWORD nameLength = MAX_VALUE_NAME + 1;
        DWORD type = REG_NONE;
        DWORD value = 0;
        DWORD size = sizeof value;
        const LONG rc = RegEnumValue(rules, index, name, &nameLength, nullptr, &type,
                                     reinterpret_cast<BYTE*>(&value), &size);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) {
            log("cannot read the enrolled rule clients (error " + std::to_string(rc) + ")");
            break;
        }
        const std::u16string_view classText(name, rc == ERROR_SUCCESS ? nameLength : 0);
        const std::string shown = handset::toUtf8(classText);
        if (rc == ERROR_MORE_DATA || type != REG_DWORD || size != sizeof value) {
            log("skipped the enrolment \"" + shown + "\": not a DWORD");
            continue;
        }
        if (value != 1) {
            log("rule client " + shown + " is not enrolled (" + std::to_string(value) + ")");
            continue;
        }
        const auto clsid = handset::parseGuid(classText);
        if (!clsid) {
            log("skipped the enrolment \"" + shown + "\": not a class id");
            continue;
        }
        IMailRuleClient* client = nullptr;
        HRESULT hr = CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IMailRuleClient,
                                      reinterpret_cast<void**>(&client));
        if (FAILED(hr) || !client) {
            log("cannot create rule client " + shown + " (" + hex(hr) + "); messages are filed without it");
            continue;
        }
        MRCACCESS access = MRC_ACCESS_NONE;
        hr = client->Initialize(store_, &access);
        if (FAILED(hr)) {
            log("rule client " + shown + " failed to initialise (" + hex(hr) + "); left out");
            client->Release();
            continue;
        }
        log("loaded rule client " + handset::formatGuidUtf8(*clsid) + " (access " + std::to_string(access) + ")");
        clients_.push_back({*clsid, client});
    }
    RegCloseKey(rules);
}

MessagingHost::~MessagingHost()
{
    for (auto it = clients_.rbegin(); it != clients_.rend(); ++it) {
        const ULONG left = it->client->Release();
        log("released rule client " + handset::formatGuidUtf8(it->clsid) + " (" + std::to_string(left) +
            " references left)");
    }
    clients_.clear();
    sounding_.reset();
    store_->Release();
    CoFreeUnusedLibraries();
}

std::vector<CLSID> MessagingHost::ruleClients() const
{
    std::vector<CLSID> classes;
    for (const RuleClient& rc : clients_)
        classes.push_back(rc.clsid);
    return classes;
}

Delivery MessagingHost::deliver(std::u16string_view sender, std::u16string_view text)
{
    Delivery delivery;
    handset::FiledMessage filed = handset::fileMessage(sender, text);
    if (!filed.ok()) {
        delivery.hr = filed.hr;
        log("cannot file a message from " + describeSender(sender) + " (" + hex(filed.hr) + ")");
        return delivery;
    }
    delivery.number = filed.number;
    const std::string number = std::to_string(filed.number);
    log("message " + number + " from " + describeSender(sender) + ", " + std::to_string(text.size()) +
        " characters");

    bool handled = false;
    for (const RuleClient& rc : clients_) {
        ULONG eventType = 0;
        MRCHANDLED answer = MRC_NOT_HANDLED;  // what a client that leaves it unwritten means
        const HRESULT hr =
            rc.client->ProcessMessage(store_, static_cast<ULONG>(filed.entryId.size()),
                                      reinterpret_cast<LPENTRYID>(filed.entryId.data()), 0, nullptr, &eventType, &answer);
        log("rule client " + handset::formatGuidUtf8(rc.clsid) + " on message " + number + ": " + hex(hr) + ", " +
            handledName(answer));
        if (answer == MRC_HANDLED_CONTINUE || answer == MRC_HANDLED_DONTCONTINUE)
            handled = true;
        if (answer == MRC_HANDLED_DONTCONTINUE)
            break;
    }
    if (handled) {
        log("message " + number + " was handled by a rule client; no notification");
        return delivery;
    }
    delivery.announced = true;
    delivery.notification = raiseNotification(filed.number, sender);
    return delivery;
}

Notification MessagingHost::raiseNotification(std::int64_t number, std::u16string_view sender)
{
    Notification raised;
    HKEY key = nullptr;
    DWORD options = 0;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kSmsNotificationClassKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        options = readDword(key, u"Options").value_or(0);
        raised.wave = readString(key, u"Wave");
        RegCloseKey(key);
    }
    raised.sound = (options & NOTIFICATION_OPTION_SOUND) != 0;
    raised.vibrate = (options & NOTIFICATION_OPTION_VIBRATE) != 0;
    raised.display = (options & NOTIFICATION_OPTION_DISPLAY) != 0;
    auto onOff = [](bool on) { return on ? "on" : "off"; };
    handset::logLine("notify", "new message " + std::to_string(number) + " from " + describeSender(sender) +
                                   ": sound=" + onOff(raised.sound) + " wave=" + handset::toUtf8(raised.wave) +
                                   " vibrate=" + onOff(raised.vibrate) + " display=" + onOff(raised.display));
    sound(number, raised);
    return raised;
}

// The sound plays on threads of its own; the host goes on with the next
// message, whose notification cuts this one short should it still sound.
void MessagingHost::sound(std::int64_t number, const Notification& raised)
{
    handset::sound::NotificationSound notification;
    notification.wave = raised.wave.empty() ? raised.wave : soundFile(raised.wave);
    notification.sound = raised.sound;
    notification.vibrate = raised.vibrate;
    sounding_.reset();
    sounding_ = handset::sound::playNotification(number, notification);
}

}  // namespace inbox
