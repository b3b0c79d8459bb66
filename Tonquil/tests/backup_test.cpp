// Settings backups: a backup made on one phone restored on another with
// the same contacts, the summary the person confirms, the files a restore
// refuses, and a restore that fails at any storage step.
#include <archive.h>
#include <archive_entry.h>

#include <memory>

#include <gtest/gtest.h>

#include <backup/backup.h>
#include <backup/backup_commands.h>
#include <backup/phone_settings.h>
#include <backup/restore.h>
#include <handset/com_ptr.h>
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/faults.h>
#include <handset/host_file.h>
#include <handset/pickers.h>
#include <handset/reg_key.h>
#include <handset/wstring.h>
#include <settings/quiet_hours.h>
#include <settings/settings.h>

#include <store_dumps.h>
#include <test_device.h>

#include "profiles_message_capture.h"
#include "tones_dialog.h"

namespace {

using namespace tonquil::backup;
using tones_test::kBell;
using handset::contacts::ContactChanges;

const std::u16string kChime = u"\\My Documents\\My Ringtones\\Chime.mp3";
const std::u16string kBackup = u"\\My Documents\\Tonquil Backup.tqb";
const SYSTEMTIME kNow{2026, 3, 0, 12, 9, 30, 0, 0};
constexpr std::int32_t kSilent = 2;

void putFile(const std::u16string& devicePath, const std::string& bytes)
{
    const std::filesystem::path host = *handset::mapDevicePath(devicePath);
    std::filesystem::create_directories(host.parent_path());
    ASSERT_TRUE(handset::writeHostFile(host, bytes));
}

std::string fileOf(const std::u16string& devicePath)
{
    const std::optional<std::filesystem::path> host = handset::mapDevicePath(devicePath);
    return host ? handset::readHostFile(*host).value_or("(none)") : "(none)";
}

// Every file of the device's file system with its bytes.
std::string dumpFiles()
{
    std::string dump;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(handset::deviceRoot() / "fs"))
        dump += entry.path().string() + (entry.is_regular_file() ? "=" + *handset::readHostFile(entry.path()) : "/") +
                "\n";
    return dump;
}

std::string dumpPhone()
{
    return handset::testing::dumpRegistry() + handset::testing::dumpContactsVolume() + dumpFiles();
}

ContactChanges person(std::u16string first, std::u16string last, std::u16string mobile)
{
    return {.firstName = std::move(first), .lastName = std::move(last),
            .phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, std::move(mobile)}}};
}

// A phone of its own, with the contacts application logged on.
struct Phone {
    handset::testing::TempDevice device;
    handset::ComPtr<IPOutlookApp2> app;

    Phone()
    {
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp2,
                                         app.outVoid()));
        EXPECT_EQ(S_OK, app->Logon(0));
    }
    ~Phone() { app->Logoff(); }

    void use() const { handset::setDeviceRoot(device.root()); }
};

// A member of a hand-made archive.
struct Member {
    Member(std::string name, std::string data, mode_t type = AE_IFREG, std::string link = {})
        : name(std::move(name)), data(std::move(data)), type(type), link(std::move(link))
    {
    }
    std::string name;
    std::string data;
    mode_t type;
    std::string link;
};

std::string archiveOf(const std::vector<Member>& members)
{
    std::string out(4 << 20, '\0');
    std::size_t used = 0;
    archive* a = archive_write_new();
    archive_write_add_filter_gzip(a);
    archive_write_set_format_pax_restricted(a);
    archive_write_open_memory(a, out.data(), out.size(), &used);
    for (const Member& m : members) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, m.name.c_str());
        archive_entry_set_filetype(entry, m.type);
        archive_entry_set_perm(entry, 0644);
        if (!m.link.empty())
            archive_entry_set_symlink(entry, m.link.c_str());
        archive_entry_set_size(entry, static_cast<la_int64_t>(m.data.size()));
        archive_write_header(a, entry);
        archive_write_data(a, m.data.data(), m.data.size());
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    out.resize(used);
    return out;
}

std::string manifestWith(const std::string& registry, const std::string& contacts = "[]",
                         const std::string& toneFiles = "[]", int version = 1)
{
    return R"({"format": "tonquil-backup", "version": )" + std::to_string(version) + R"(, "registry": )" + registry +
           R"(, "contacts": )" + contacts + R"(, "toneFiles": )" + toneFiles + "}";
}

const std::string kRegistry = R"({"root": "HKEY_CURRENT_USER\\Software\\Quorrel\\Tonquil", "keys": []})";

class BackupTest : public ::testing::Test {
protected:
    // The window layer puts in its own message box presenter as it makes
    // the application, so the application comes before any MessageCapture.
    static void SetUpTestSuite() { handset::ui::ensureApplication(); }
    void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    void TearDown() override
    {
        handset::faults::failStep(handset::faults::Store::Registry, 0, handset::faults::Fault::IoError);
        handset::faults::failStep(handset::faults::Store::Contacts, 0, handset::faults::Fault::IoError);
        handset::clearPickerAnswers();
        CoUninitialize();
    }

    // The first phone: contacts with their own tones, categories with VIP
    // and Mute, a changed class, a schedule, a timed profile and repeated
    // calls.
    void fillFirstPhone()
    {
        putFile(kBell, "bell on the first phone");
        putFile(kChime, "chime");
        ContactChanges ann = person(u"Ann", u"Lee", u"+49 151 2345678");
        ann.ringTone = kBell;
        ann.smsTone = kChime;
        ann.priority = WORD{1};
        ann.categories = u"Family";
        ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(ann));
        ContactChanges bob = person(u"Bob", u"Ray", u"0301234567");
        bob.categories = u"Work";
        ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(bob));
        ContactChanges gone = person(u"Cleo", u"Fox", u"0711555666");
        gone.ringTone = u"\\My Documents\\My Ringtones\\Lost.wav";
        ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(gone));
        ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(person(u"Dan", u"Nil", u"089777888")));
        settings::writeCategoryRingTone(u"Family", kChime);
        settings::writeCategoryPriority(u"Family", settings::PriorityVip);
        ASSERT_TRUE(settings::ensureCategoryKey(u"Work"));
        settings::writeCategoryPriority(u"Work", settings::PriorityMute);
        settings::writeClassRingTone(settings::UnknownCaller, kBell);
        const settings::ScheduleEntry schedule[] = {{7 * 60, 0}, {22 * 60, 2}};
        settings::writeSchedule(schedule, 2);
        settings::writeCurrentProfile(settings::PROFILE_SCHEDULE);
        // After the profile choice, which ends any timed profile.
        ASSERT_TRUE(settings::startTimedProfile(kSilent, 60, kNow));
        ASSERT_TRUE(settings::writeRepeatedCallSettings({.enabled = true, .windowMinutes = 5, .ringProfile = 3,
                                                         .contactsOnly = true}));
    }

    static std::string productKey()
    {
        const handset::RegExportResult exported =
            handset::exportRegKey({HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil"});
        return exported.ok() ? exported.text : exported.message;
    }

    static ContactSettings settingsOf(IPOutlookApp2* app, std::u16string_view first)
    {
        std::vector<PhoneContact> contacts;
        EXPECT_TRUE(readPhoneContacts(app, contacts));
        for (PhoneContact& contact : contacts)
            if (contact.settings.firstName == first)
                return contact.settings;
        return {};
    }
};

TEST_F(BackupTest, ARestoreOnAnotherPhoneBringsBackEverySettingAndTheToneFiles)
{
    Phone first;
    fillFirstPhone();
    const BackupReport made = backUpSettings(first.app.get(), kBackup, ToneFiles::Include);
    ASSERT_TRUE(made.ok) << made.error;
    EXPECT_EQ(3u, made.contacts);  // Dan has no settings
    EXPECT_EQ(2u, made.toneFiles);
    EXPECT_EQ(std::vector<std::u16string>{u"\\My Documents\\My Ringtones\\Lost.wav"}, made.missingTones);
    const std::string backupBytes = fileOf(kBackup);
    const std::string before = productKey();
    const ContactSettings ann = settingsOf(first.app.get(), u"Ann");

    // The second phone: the same people in another order, numbers written
    // otherwise, Cleo missing, and a different Bell.wav of its own.
    Phone second;
    ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(person(u"Bob", u"Ray", u"030 123 4567")));
    ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(person(u"ANN", u"lee", u"0049 151 2345678")));
    ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(person(u"Ann", u"Lee", u"+49 151 2345678")));
    putFile(kBell, "another bell");
    settings::writeClassRingTone(settings::KnownCaller, kChime);

    ReadBackupResult read = readBackupArchive(backupBytes);
    ASSERT_TRUE(read.ok()) << read.error;
    PlanResult planned = planRestore(second.app.get(), std::move(*read.contents));
    ASSERT_TRUE(planned.ok()) << planned.error;
    const RestorePlan& plan = *planned.plan;
    // Ann matches by her number exactly, not the look-alike by name.
    EXPECT_EQ(2u, plan.matches.size());
    EXPECT_EQ(std::vector<std::u16string>{u"Cleo Fox (0711555666)"}, plan.unmatched);
    const std::u16string renamedBell = u"\\My Documents\\My Ringtones\\Bell (2).wav";
    ASSERT_EQ(1u, plan.renamed.size());
    EXPECT_EQ(renamedBell, plan.renamed[0].second);
    const std::u16string summary = restoreSummary(plan);
    EXPECT_NE(std::u16string::npos, summary.find(u"Cleo Fox"));
    EXPECT_NE(std::u16string::npos, summary.find(u"Lost.wav"));
    EXPECT_NE(std::u16string::npos, summary.find(renamedBell));

    const RestoreResult applied = applyRestore(second.app.get(), plan);
    ASSERT_TRUE(applied.ok) << applied.error;
    EXPECT_EQ("another bell", fileOf(kBell));
    EXPECT_EQ("bell on the first phone", fileOf(renamedBell));
    EXPECT_EQ("chime", fileOf(kChime));
    ContactSettings expected = ann;
    expected.ringTone = renamedBell;
    ContactSettings restored = settingsOf(second.app.get(), u"Ann");
    restored.numbers = expected.numbers;
    EXPECT_EQ(expected, restored);
    EXPECT_EQ(std::u16string(u"Work"), settingsOf(second.app.get(), u"Bob").categories.value_or(u""));
    // The product key is the first phone's, with Bell where it went, and
    // the second phone's own class tone gone.
    std::string renamedKey = before;
    const std::string from = "Bell.wav", to = "Bell (2).wav";
    for (std::size_t at = 0; (at = renamedKey.find(from, at)) != std::string::npos; at += to.size())
        renamedKey.replace(at, from.size(), to);
    EXPECT_EQ(renamedKey, productKey());
    const std::optional<settings::TimedProfile> timed = settings::timedProfileAt(kNow);
    ASSERT_TRUE(timed);
    EXPECT_EQ(kSilent, timed->profile);
    EXPECT_TRUE(settings::readRepeatedCallSettings().contactsOnly);
}

TEST_F(BackupTest, CancelInTheSummaryChangesNothing)
{
    Phone first;
    fillFirstPhone();
    ASSERT_TRUE(backUpSettings(first.app.get(), kBackup, ToneFiles::Leave).ok);
    const std::string backupBytes = fileOf(kBackup);

    Phone second;
    ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(person(u"Ann", u"Lee", u"+49 151 2345678")));
    ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(person(u"Ann", u"Lee", u"0171 999888")));
    putFile(kBackup, backupBytes);
    const std::string before = dumpPhone();
    handset::scriptPickerAnswers({kBackup});
    profiles_test::MessageCapture boxes({IDCANCEL});
    tonquil::restoreSettingsCommand(nullptr, second.app.get());
    ASSERT_EQ(1u, boxes.texts().size());
    const std::u16string& summary = boxes.texts()[0];
    // Bob is not here, and without tone files Bell and Chime are in
    // neither the backup nor this phone.
    EXPECT_NE(std::u16string::npos, summary.find(u"Bob Ray (0301234567)")) << handset::toUtf8(summary);
    EXPECT_NE(std::u16string::npos, summary.find(kBell));
    EXPECT_NE(std::u16string::npos, summary.find(kChime));
    EXPECT_EQ(before, dumpPhone());
}

TEST_F(BackupTest, HostileOrDamagedFilesAreRefusedWithTheirReasonAndChangeNothing)
{
    Phone phone;
    ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(person(u"Ann", u"Lee", u"+49 151 2345678")));
    settings::writeClassRingTone(settings::KnownCaller, kBell);
    ASSERT_TRUE(backUpSettings(phone.app.get(), kBackup, ToneFiles::Leave).ok);
    const std::string good = fileOf(kBackup);
    const std::string manifest = manifestWith(kRegistry);
    const std::string tone = R"([{"path": "\\My Documents\\x.wav", "member": "tones/1/x.wav", "size": 3}])";

    const struct {
        const char* what;
        std::string bytes;
        std::u16string reason;
    } files[] = {
        {"truncated", good.substr(0, good.size() / 2), u"damaged or cut short"},
        {"not a backup", "BEGIN:VCARD\r\nEND:VCARD\r\n", u"not a Tonquil settings backup"},
        {"another archive", archiveOf({{"readme.txt", "hello", AE_IFREG, ""}}), u"not a Tonquil settings backup"},
        {"newer version", archiveOf({{"manifest.json", manifestWith(kRegistry, "[]", "[]", 2)}}),
         u"newer Tonquil (format version 2"},
        {"member climbing out",
         archiveOf({{"manifest.json", manifest}, {"tones/../../etc/x.wav", "abc", AE_IFREG, ""}}), u"climbs out"},
        {"absolute member", archiveOf({{"manifest.json", manifest}, {"/etc/passwd", "abc", AE_IFREG, ""}}), u"absolute"},
        {"link", archiveOf({{"manifest.json", manifestWith(kRegistry, "[]", tone)}, {"tones/1/x.wav", "", AE_IFLNK, "/etc/passwd"}}),
         u"is a link"},
        {"too many members",
         [] {
             std::string list = "[";
             for (int i = 0; i < 600; ++i)
                 list += (i ? "," : "") + std::string(R"({"path": "\\t)") + std::to_string(i) +
                         R"(.wav", "member": "tones/)" + std::to_string(i) + R"(", "size": 1})";
             return archiveOf({{"manifest.json", manifestWith(kRegistry, "[]", list + "]")}});
         }(),
         u"more than 512 tone files"},
        {"too many bytes",
         archiveOf({{"manifest.json", manifestWith(kRegistry, "[]",
                                                   R"([{"path": "\\x.wav", "member": "tones/1/x.wav", "size": 20000000}])")}}),
         u"larger than 16 MB"},
        {"wrong value type",
         archiveOf({{"manifest.json", manifestWith(kRegistry, R"([{"firstName": "Ann", "priority": "high"}])")}}),
         u"\"priority\" is not a whole number"},
        {"registry value of the wrong type",
         archiveOf({{"manifest.json",
                     manifestWith(R"({"root": "HKEY_CURRENT_USER\\Software\\Quorrel\\Tonquil", "keys": [{"path": "Profiles", "values": [{"name": "currentProfile", "type": 4, "text": "Loud"}]}]})")}}),
         u"\"text\" must be a text of a text value"},
        {"keys outside the product key",
         archiveOf({{"manifest.json",
                     manifestWith(R"({"root": "HKEY_LOCAL_MACHINE\\Software", "keys": []})")}}),
         u"outside Tonquil's own key"},
        {"key path climbing out",
         archiveOf({{"manifest.json",
                     manifestWith(R"({"root": "HKEY_CURRENT_USER\\Software\\Quorrel\\Tonquil", "keys": [{"path": "..\\..\\Microsoft", "values": []}]})")}}),
         u"outside Tonquil's own key"},
    };
    const std::u16string path = u"\\My Documents\\Bad.tqb";
    for (const auto& file : files) {
        SCOPED_TRACE(file.what);
        putFile(path, file.bytes);
        const std::string before = dumpPhone();
        handset::scriptPickerAnswers({path});
        profiles_test::MessageCapture boxes;
        tonquil::restoreSettingsCommand(nullptr, phone.app.get());
        ASSERT_EQ(1u, boxes.texts().size());
        EXPECT_NE(std::u16string::npos, boxes.texts()[0].find(file.reason)) << handset::toUtf8(boxes.texts()[0]);
        EXPECT_NE(std::u16string::npos, boxes.texts()[0].find(u"Nothing was changed"));
        EXPECT_EQ(before, dumpPhone());
    }
}

TEST_F(BackupTest, ARestoreFailingAtAnyStorageStepLeavesThePhoneAsItWas)
{
    using handset::faults::Fault;
    using handset::faults::Store;
    Phone first;
    fillFirstPhone();
    ASSERT_TRUE(backUpSettings(first.app.get(), kBackup, ToneFiles::Include).ok);
    const std::string backupBytes = fileOf(kBackup);

    int injected = 0;
    for (Store store : {Store::Registry, Store::Contacts}) {
        // A second phone of its own for each walk, since the walk ends with
        // a restore that succeeds.
        Phone second;
        ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(person(u"Ann", u"Lee", u"+49 151 2345678")));
        ContactChanges bob = person(u"Bob", u"Ray", u"0301234567");
        bob.ringTone = kChime;
        ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(bob));
        settings::writeCurrentProfile(3);
        settings::writeCategoryRingTone(u"Golf", kChime);
        for (int step = 1;; ++step) {
            SCOPED_TRACE(testing::Message() << (store == Store::Registry ? "registry" : "contacts") << " step " << step);
            ReadBackupResult read = readBackupArchive(backupBytes);
            ASSERT_TRUE(read.ok());
            PlanResult planned = planRestore(second.app.get(), std::move(*read.contents));
            ASSERT_TRUE(planned.ok());
            const std::string before = dumpPhone();
            handset::faults::failStep(store, step, step % 2 ? Fault::IoError : Fault::DiskFull);
            const RestoreResult result = applyRestore(second.app.get(), *planned.plan);
            const bool fired = handset::faults::stepsTaken(store) >= step;
            handset::faults::failStep(store, 0, Fault::IoError);
            if (result.ok) {
                ASSERT_FALSE(fired);  // past the last step
                break;
            }
            ++injected;
            EXPECT_TRUE(result.undone);
            EXPECT_EQ(before, dumpPhone());
        }
    }
    EXPECT_GT(injected, 10);
}

}  // namespace
