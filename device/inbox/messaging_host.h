// The messaging host's work: the rule clients enrolled for text messages,
// and what happens to each arriving message (filed, shown to every rule
// client, announced by the phone's new-message notification).
//
// A host lives on one thread, which must have initialised COM: rule clients
// are created, called and released there, one message at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <handset/mapi.h>
#include <handset/sound.h>

namespace inbox {

// Where the rule clients for text messages are enrolled: one REG_DWORD per
// class, named by its class id; 1 means enrolled.
inline constexpr char16_t kSmsRulesKey[] = u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules";

// The phone's new-message notification, as it was raised for a message.
struct Notification {
    bool sound = false;
    std::u16string wave;  // the sound's path as the notification class holds it
    bool vibrate = false;
    bool display = false;
};

struct [[nodiscard]] Delivery {
    HRESULT hr = S_OK;           // the store's code when the message could not be filed
    std::int64_t number = 0;     // the message's number in the store
    bool announced = false;      // false when a rule client handled the message itself
    Notification notification;   // what was raised; all off when nothing was

    bool ok() const { return SUCCEEDED(hr); }
};

class MessagingHost {
public:
    // Opens the message store and creates every enrolled rule client,
    // initialising each once. A client that cannot be created or whose
    // Initialize fails is logged and left out. Null only when the message
    // store cannot be opened (logged).
    static std::unique_ptr<MessagingHost> start();

    // Releases the rule clients and the store, then unloads the libraries
    // whose DllCanUnloadNow allows it.
    ~MessagingHost();
    MessagingHost(const MessagingHost&) = delete;
    MessagingHost& operator=(const MessagingHost&) = delete;

    // One arriving message: files it, calls ProcessMessage of each rule
    // client in enrolment order (until one answers MRC_HANDLED_DONTCONTINUE),
    // then, unless a client handled it, raises the new-message notification
    // from HKEY_CURRENT_USER's SMS notification class ("Options" bit 0 plays
    // "Wave", bit 1 vibrates, bit 3 shows the message), logged on channel
    // "notify".
    Delivery deliver(std::u16string_view sender, std::u16string_view text);

    // The class ids of the rule clients that were loaded.
    std::vector<CLSID> ruleClients() const;

private:
    struct RuleClient {
        CLSID clsid;
        IMailRuleClient* client;
    };

    explicit MessagingHost(IMsgStore* store) : store_(store) {}
    void loadRuleClients();
    Notification raiseNotification(std::int64_t number, std::u16string_view sender);
    void sound(std::int64_t number, const Notification& raised);

    IMsgStore* store_;
    std::vector<RuleClient> clients_;
    std::unique_ptr<handset::sound::Notification> sounding_;  // the last notification's sound
};

// The sender as the log shows it: control characters as '?', at most 80
// characters, so that a hostile address cannot forge or flood log lines.
std::string describeSender(std::u16string_view sender);

}  // namespace inbox
