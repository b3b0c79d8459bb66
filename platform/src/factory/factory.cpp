// A new device, as the phone leaves the factory.
#include <handset/factory.h>

#include <string_view>
#include <system_error>
#include <variant>

#include <handset/device.h>
#include <handset/lifecycle.h>
#include <handset/registry.h>
#include <handset/registry_batch.h>

#include "imaging/stock_pictures.h"
#include "wmp/stock_sounds.h"

namespace handset {

namespace fs = std::filesystem;

namespace {

// The device's folders; the phone's file system lives below fs/.
constexpr std::string_view kWindowsPrograms[] = {"peghelp.exe", "phone"};
constexpr std::string_view kFolders[] = {"fs/Windows", "fs/My Documents", "fs/My Documents/My Pictures",
                                         "fs/Program Files", "run", "log"};

// The SMS notification class, whose sound and options the phone uses for
// every arriving text message.
constexpr std::u16string_view kSmsClass = u"ControlPanel\\Notifications\\{A877D65B-239C-47a7-9304-0D347F580408}";

// Bits of the notification class's "Options" (0x2, vibrate, is the third).
constexpr DWORD kNotifySound = 0x1;
constexpr DWORD kNotifyDisplay = 0x8;

struct FactoryValue {
    HKEY root;
    std::u16string_view key;
    std::u16string_view name;  // empty: the key's default value
    std::variant<std::u16string_view, DWORD> data;  // REG_SZ or REG_DWORD
};

// The phone's own settings that the programs on it read. The ring tone
// rings once with the standard pattern (alert, play, wait 3 s, repeat) at
// the middle of the five volume steps; a text message plays its sound and
// shows itself without vibrating. The SMS class also carries the
// vibrate-with-ringer values, as a phone whose notification can play MIDI
// tones itself does: their presence is how an SMS tone service learns that
// it may hand a MIDI tone to the notification instead of starting a player.
const FactoryValue kFactoryRegistry[] = {
    {HKEY_CURRENT_USER, u"ControlPanel\\Sounds\\RingTone0", u"Sound", u"\\Windows\\Ring.wav"},
    {HKEY_CURRENT_USER, u"ControlPanel\\Sounds\\RingTone0", u"Script", u"apw3r"},
    {HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", u"InitVol", DWORD{3}},
    {HKEY_CURRENT_USER, kSmsClass, u"Wave", u"\\Windows\\Alert.wav"},
    {HKEY_CURRENT_USER, kSmsClass, u"Options", DWORD{kNotifySound | kNotifyDisplay}},
    {HKEY_CURRENT_USER, kSmsClass, u"VibrateWithRingerOff", DWORD{0}},
    {HKEY_CURRENT_USER, kSmsClass, u"VibrateWithRingerOn", DWORD{0}},
    {HKEY_CLASSES_ROOT, u"Media Type\\Extensions\\.mid", u"Content Type", u"audio/midi"},
};

LONG writeFactoryValue(const FactoryValue& value)
{
    HKEY key = nullptr;
    const std::u16string keyName(value.key);
    LONG rc = RegCreateKeyEx(value.root, keyName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    const std::u16string name(value.name);
    if (const auto* text = std::get_if<std::u16string_view>(&value.data)) {
        // Strings go in with their terminator, as the phone's writers store them.
        const std::u16string terminated(*text);
        rc = RegSetValueEx(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(terminated.c_str()),
                           static_cast<DWORD>((terminated.size() + 1) * sizeof(WCHAR)));
    } else {
        const DWORD number = std::get<DWORD>(value.data);
        rc = RegSetValueEx(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    }
    RegCloseKey(key);
    return rc;
}

fs::path registryFile(const fs::path& root)
{
    return root / "registry.db";
}

// The registry file and the journal files SQLite keeps beside it.
void removeRegistry(const fs::path& root, std::error_code& ec)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        fs::remove(registryFile(root).string() + suffix, ec);
        if (ec)
            return;
    }
}

CreateDeviceResult failed(CreateDeviceResult::Failure failure, std::string message)
{
    return {failure, std::move(message)};
}

}  // namespace

bool isDevice(const fs::path& root)
{
    std::error_code ec;
    return fs::is_regular_file(registryFile(root), ec);
}

CreateDeviceResult createDevice(const fs::path& root, ReplaceExisting replace)
{
    using Failure = CreateDeviceResult::Failure;
    std::error_code ec;
    const fs::path device = fs::absolute(root, ec);
    if (ec)
        return failed(Failure::Files, "cannot find the folder " + root.string() + ": " + ec.message());

    if (isDevice(device)) {
        if (replace == ReplaceExisting::No)
            return failed(Failure::DeviceExists, "there is already a device at " + device.string());
        // Choose the device first, so that this process drops any connection
        // to the old registry before its files go.
        setDeviceRoot(device);
        for (fs::directory_iterator it(device, ec), end; !ec && it != end; it.increment(ec)) {
            fs::remove_all(it->path(), ec);
            if (ec)
                return failed(Failure::Files, "cannot remove " + it->path().string() + ": " + ec.message());
        }
        if (ec)
            return failed(Failure::Files, "cannot empty " + device.string() + ": " + ec.message());
    }

    for (std::string_view folder : kFolders) {
        fs::create_directories(device / folder, ec);
        if (ec)
            return failed(Failure::Files, "cannot create " + (device / folder).string() + ": " + ec.message());
    }
    // The phone's stock sounds, among them the ring and message sounds the
    // factory registry names.
    if (std::string why; !wmp::writeStockSounds(device / "fs/Windows", &why))
        return failed(Failure::Files, "cannot make the stock sounds: " + why);
    // A few pictures to give a contact.
    if (std::string why; !writeEmbeddedFiles(imaging::kStockPictureFiles, imaging::kStockPictureFileCount,
                                             device / "fs/My Documents/My Pictures", &why))
        return failed(Failure::Files, "cannot make the stock pictures: " + why);
    // The phone's own programs in "\Windows" (its help viewer, its call
    // screen), taken from the folder of the device's programs; a build
    // without them makes a device without them.
    for (std::string_view program : kWindowsPrograms) {
        const fs::path source = lifecycle::programsFolder() / program;
        if (!fs::exists(source, ec))
            continue;
        fs::copy_file(source, device / "fs/Windows" / program, fs::copy_options::overwrite_existing, ec);
        if (ec)
            return failed(Failure::Files, "cannot copy " + source.string() + ": " + ec.message());
    }

    setDeviceRoot(device);
    const LONG rc = RegApplyBatch([] {
        for (const FactoryValue& value : kFactoryRegistry) {
            if (const LONG valueRc = writeFactoryValue(value); valueRc != ERROR_SUCCESS)
                return valueRc;
        }
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) {
        // Opening the registry created its file; without it the folder is
        // not taken for a (half-made) device. Choosing the device again makes
        // this process reopen the registry when it next needs it.
        std::error_code ignored;
        removeRegistry(device, ignored);
        setDeviceRoot(device);
        return failed(Failure::Registry, "cannot write the registry of " + device.string() + " (error " +
                                             std::to_string(rc) + ")");
    }
    return {};
}

}  // namespace handset
