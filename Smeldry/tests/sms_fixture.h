// A device with contacts, the product's default profiles, the phone's SMS
// notification class and one rule client, and ways to send it a message and
// to see what it left behind.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <handset/mapi.h>
#include <handset/registry.h>
#include <handset/wstring.h>
#include <settings/settings.h>
#include <settings/sms.h>

#include "contacts_device.h"
#include "device_log.h"
#include "fake_store.h"
#include "mail_rule_client.h"

namespace smeldry::testing {

inline constexpr char16_t kUnknownTone[] = u"\\Windows\\Unknown.wav";
inline constexpr char16_t kKnownTone[] = u"\\Windows\\Known.wav";
// The bits the service owns; 0x10 stands for the phone's others, which it keeps.
inline constexpr DWORD kOtherOption = 0x10;

struct Delivery {
    HRESULT hr = static_cast<HRESULT>(0xdeadbeef);
    MRCHANDLED handled = static_cast<MRCHANDLED>(0xbd);
};

// The SMS notification class as the message left it; values it lacks are empty.
struct Notification {
    std::optional<std::u16string> wave;
    std::optional<DWORD> options;
    std::optional<DWORD> vibrateWithRingerOff;
    std::optional<DWORD> vibrateWithRingerOn;
};

class SmsTest : public handset::testing::ContactsDeviceTest {
protected:
    void SetUp() override
    {
        ContactsDeviceTest::SetUp();
        settings::resetProfiles();
        settings::writeClassSmsTone(settings::UnknownCaller, kUnknownTone);
        settings::writeClassSmsTone(settings::KnownCaller, kKnownTone);
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, kSmsNotificationClassKey, 0, nullptr, 0, 0,
                                                nullptr, &key, nullptr));
        setString(key, u"Wave", u"\\Windows\\Alert.wav");
        setDword(key, u"Options", NOTIFICATION_OPTION_SOUND | NOTIFICATION_OPTION_DISPLAY | kOtherOption);
        setDword(key, u"VibrateWithRingerOff", 0);
        setDword(key, u"VibrateWithRingerOn", 0);
        RegCloseKey(key);
        client_ = new CMailRuleClient;
        log_.skip();
    }

    void TearDown() override
    {
        if (client_)
            client_->Release();
        ContactsDeviceTest::TearDown();
    }

    static void setString(HKEY key, const char16_t* name, const std::u16string& text)
    {
        RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                      static_cast<DWORD>((text.size() + 1) * 2));
    }
    static void setDword(HKEY key, const char16_t* name, DWORD value)
    {
        RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }

    // A phone whose SMS notification cannot play MIDI tones.
    static void withoutMidiNotification()
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, kSmsNotificationClassKey, 0, KEY_ALL_ACCESS, &key));
        RegDeleteValue(key, u"VibrateWithRingerOff");
        RegDeleteValue(key, u"VibrateWithRingerOn");
        RegCloseKey(key);
    }

    static Notification notification()
    {
        Notification n;
        HKEY key = nullptr;
        if (RegOpenKeyEx(HKEY_CURRENT_USER, kSmsNotificationClassKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return n;
        WCHAR text[400];
        DWORD type = 0, size = sizeof text;
        if (RegQueryValueEx(key, u"Wave", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS &&
            type == REG_SZ) {
            EXPECT_EQ(0u, size % 2);
            EXPECT_EQ(u'\0', text[size / 2 - 1]) << "written with its terminator";
            n.wave = std::u16string(text, size / 2 - 1);
        }
        auto number = [&](const char16_t* name) -> std::optional<DWORD> {
            DWORD value = 0, valueType = 0, valueSize = sizeof value;
            if (RegQueryValueEx(key, name, nullptr, &valueType, reinterpret_cast<BYTE*>(&value), &valueSize) !=
                    ERROR_SUCCESS ||
                valueType != REG_DWORD || valueSize != 4)
                return std::nullopt;
            return value;
        };
        n.options = number(u"Options");
        n.vibrateWithRingerOff = number(u"VibrateWithRingerOff");
        n.vibrateWithRingerOn = number(u"VibrateWithRingerOn");
        RegCloseKey(key);
        return n;
    }

    CEOID addContact(std::u16string number, std::optional<std::u16string> smsTone = std::nullopt,
                     std::optional<WORD> priority = std::nullopt,
                     std::optional<std::u16string> categories = std::nullopt)
    {
        handset::contacts::ContactChanges changes;
        changes.firstName = u"Anna";
        changes.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, std::move(number)}};
        changes.smsTone = std::move(smsTone);
        changes.priority = priority;
        changes.categories = std::move(categories);
        return ContactsDeviceTest::addContact(changes);
    }

    Delivery deliver(const StoredMessage& message)
    {
        std::vector<BYTE> id = store_.add(message);
        // Every message these tests send is chosen a second time with its
        // explanation, which must not change the choice.
        const std::u16string key = settings::lookupKey(message.sender.value_or(u""));
        settings::Explanation why;
        EXPECT_EQ(settings::chooseSmsAlert(app_, key), settings::chooseSmsAlert(app_, key, &why));
        return deliverId(id);
    }
    Delivery deliverId(std::vector<BYTE> id)
    {
        Delivery d;
        ULONG eventType = 0;
        d.hr = client_->ProcessMessage(&store_, static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(id.data()),
                                       0, nullptr, &eventType, &d.handled);
        EXPECT_EQ(0, store_.openMessages()) << "the message is released";
        return d;
    }
    Delivery send(const std::u16string& sender)
    {
        StoredMessage message;
        message.sender = sender;
        return deliver(message);
    }

    // The command lines the player was started with (or was to be started
    // with, when it is not installed) since the last look.
    std::vector<std::string> playerStarts()
    {
        const std::string player = "\"\\Program Files\\Tonquil\\plimsey.exe\"";
        std::vector<std::string> commandLines;
        for (std::string line : log_.lines("exec")) {
            if (line.rfind("could not open ", 0) == 0) {
                line = line.substr(15);
                line = line.substr(0, line.rfind(" (error "));
            }
            if (line.rfind(player, 0) != 0) {
                commandLines.push_back("<another program> " + line);
                continue;
            }
            const std::string rest = line.substr(player.size());
            commandLines.push_back(rest.empty() ? rest : rest.substr(1));
        }
        return commandLines;
    }

    std::vector<std::string> traced() { return log_.lines("debug"); }

    FakeStore store_;
    CMailRuleClient* client_ = nullptr;
    LogCursor log_;
};

}  // namespace smeldry::testing
