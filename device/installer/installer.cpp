// The package installer's steps, each undone when a later one fails.
#include "installer.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <handset/device.h>
#include <handset/files.h>
#include <handset/host_file.h>
#include <handset/loader.h>
#include <handset/log.h>
#include <handset/registry.h>
#include <handset/registry_batch.h>
#include <handset/setup.h>
#include <handset/wstring.h>

#include "../today/today_protocol.h"
#include "package_document.h"

namespace installer {

namespace {

namespace fs = std::filesystem;
using handset::RegKeyPath;

constexpr char16_t kAppsKey[] = u"Software\\Apps";

std::string utf8(std::u16string_view text)
{
    return handset::toUtf8(text);
}

std::string inQuotes(std::u16string_view text)
{
    return "\"" + utf8(text) + "\"";
}

bool sameName(std::u16string_view a, std::u16string_view b)
{
    return handset::foldCase(a) == handset::foldCase(b);
}

std::u16string keyText(const RegKeyPath& key)
{
    return handset::fromUtf8(handset::formatRegKeyPath(key));
}

std::optional<RegKeyPath> keyFromText(const std::u16string& text)
{
    return handset::parseRegKeyPath(utf8(text));
}

std::size_t depthOf(const RegKeyPath& key)
{
    return static_cast<std::size_t>(std::count(key.subKey.begin(), key.subKey.end(), u'\\')) + 1;
}

// "HKEY_CURRENT_USER\Software\X" and each key above it up to the root's child.
std::vector<RegKeyPath> keyAndParents(const RegKeyPath& key)
{
    std::vector<RegKeyPath> chain;
    for (std::size_t at = key.subKey.find(u'\\'); at != std::u16string::npos; at = key.subKey.find(u'\\', at + 1))
        chain.push_back({key.root, key.subKey.substr(0, at)});
    chain.push_back(key);
    return chain;
}

bool keyExists(const RegKeyPath& key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyEx(key.root, key.subKey.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

// --- Values as the record stores them --------------------------------------

std::vector<BYTE> multiString(const std::vector<std::u16string>& strings)
{
    std::u16string joined;
    for (const std::u16string& s : strings)
        joined += s + u'\0';
    joined += u'\0';
    std::vector<BYTE> data(joined.size() * 2);
    std::memcpy(data.data(), joined.data(), data.size());
    return data;
}

std::vector<std::u16string> readMultiString(HKEY key, LPCWSTR name)
{
    DWORD type = 0, size = 0;
    if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_MULTI_SZ)
        return {};
    std::u16string data(size / 2, u'\0');
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(data.data()), &size) != ERROR_SUCCESS)
        return {};
    std::vector<std::u16string> strings;
    for (std::size_t start = 0; start < data.size();) {
        const std::size_t end = std::min(data.find(u'\0', start), data.size());
        if (end == start)
            break;
        strings.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

std::u16string readString(HKEY key, LPCWSTR name)
{
    DWORD type = 0, size = 0;
    if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return {};
    std::u16string data(size / 2, u'\0');
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(data.data()), &size) != ERROR_SUCCESS)
        return {};
    if (const std::size_t end = data.find(u'\0'); end != std::u16string::npos)
        data.resize(end);
    return data;
}

std::vector<BYTE> stringData(const std::u16string& text)
{
    std::vector<BYTE> data((text.size() + 1) * 2, 0);
    std::memcpy(data.data(), text.data(), text.size() * 2);
    return data;
}

void addOnce(std::vector<std::u16string>& list, const std::u16string& item)
{
    if (std::none_of(list.begin(), list.end(), [&](const std::u16string& x) { return sameName(x, item); }))
        list.push_back(item);
}

// --- What was installed ----------------------------------------------------

struct Record {
    std::u16string installDir;
    std::u16string setupLibrary;          // its installed device path; empty: none
    std::vector<std::u16string> files;    // device paths
    std::vector<std::u16string> folders;  // made by an installation, device paths
    std::vector<std::u16string> keys;     // made by an installation, full key paths
    std::vector<std::u16string> values;   // pairs: full key path, "=" + value name
};

RegKeyPath recordKey(const std::u16string& appName)
{
    return {HKEY_LOCAL_MACHINE, std::u16string(kAppsKey) + u"\\" + appName};
}

std::optional<Record> readRecord(const std::u16string& appName)
{
    const RegKeyPath path = recordKey(appName);
    HKEY key = nullptr;
    if (RegOpenKeyEx(path.root, path.subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    Record record;
    record.installDir = readString(key, u"InstlDir");
    record.setupLibrary = readString(key, u"SetupDll");
    record.files = readMultiString(key, u"Files");
    record.folders = readMultiString(key, u"Folders");
    record.keys = readMultiString(key, u"Keys");
    record.values = readMultiString(key, u"Values");
    RegCloseKey(key);
    return record;
}

PackageKey recordEntries(const std::u16string& appName, const Record& record)
{
    const DWORD one = 1;
    std::vector<BYTE> dword(4);
    std::memcpy(dword.data(), &one, 4);
    PackageKey entry{recordKey(appName), {}};
    entry.values.push_back({u"Instl", REG_DWORD, dword});
    entry.values.push_back({u"InstlDir", REG_SZ, stringData(record.installDir)});
    entry.values.push_back({u"SetupDll", REG_SZ, stringData(record.setupLibrary)});
    entry.values.push_back({u"Files", REG_MULTI_SZ, multiString(record.files)});
    entry.values.push_back({u"Folders", REG_MULTI_SZ, multiString(record.folders)});
    entry.values.push_back({u"Keys", REG_MULTI_SZ, multiString(record.keys)});
    entry.values.push_back({u"Values", REG_MULTI_SZ, multiString(record.values)});
    return entry;
}

// --- Files, with what is needed to take them back ---------------------------

class FileJournal {
public:
    ~FileJournal() { discardBackups(); }

    // Makes the folder and every missing folder above it.
    std::string makeFolder(const std::u16string& folder)
    {
        std::size_t at = 0;
        while (at != std::u16string::npos) {
            at = folder.find(u'\\', at + 1);
            const std::u16string prefix = folder.substr(0, at);
            const DWORD attributes = GetFileAttributes(prefix.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                if (!CreateDirectory(prefix.c_str(), nullptr))
                    return "cannot make the folder " + inQuotes(prefix) + " (error " + std::to_string(GetLastError()) +
                           ")";
                createdFolders_.push_back(prefix);
            } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                return inQuotes(prefix) + " is a file, not a folder";
            }
        }
        return {};
    }

    // Copies a host file to a device path, keeping what it replaces.
    std::string copy(const fs::path& source, const std::u16string& target)
    {
        std::error_code ec;
        if (!fs::is_regular_file(source, ec))
            return "the package has no file " + source.filename().string();
        const std::optional<fs::path> host = handset::mapDevicePath(target);
        if (!host)
            return inQuotes(target) + " is outside the device";
        if (fs::is_directory(*host, ec))
            return inQuotes(target) + " is a folder";
        Copied copied{target, *host, std::nullopt};
        if (fs::exists(*host, ec)) {
            const fs::path backup = backupFolder() / std::to_string(copies_.size());
            if (!fs::copy_file(*host, backup, fs::copy_options::overwrite_existing, ec))
                return "cannot keep the file " + inQuotes(target) + " it replaces: " + ec.message();
            copied.backup = backup;
        }
        // A copy beside the target, then one rename: a program that loads the
        // file meanwhile sees the old one or the new one, never half of it.
        fs::path partial = *host;
        partial += ".installing";
        if (!fs::copy_file(source, partial, fs::copy_options::overwrite_existing, ec)) {
            fs::remove(partial, ec);
            return "cannot copy " + source.filename().string() + " to " + inQuotes(target) + ": " + ec.message();
        }
        fs::rename(partial, *host, ec);
        if (ec) {
            fs::remove(partial, ec);
            return "cannot copy " + source.filename().string() + " to " + inQuotes(target) + ": " + ec.message();
        }
        copies_.push_back(std::move(copied));
        return {};
    }

    // Puts back what the copies replaced, removes what they added and the
    // folders made for them.
    void undo()
    {
        std::error_code ec;
        for (auto it = copies_.rbegin(); it != copies_.rend(); ++it) {
            if (it->backup)
                fs::rename(*it->backup, it->host, ec);
            else
                fs::remove(it->host, ec);
        }
        copies_.clear();
        for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it)
            RemoveDirectory(it->c_str());
        createdFolders_.clear();
    }

    const std::vector<std::u16string>& createdFolders() const { return createdFolders_; }

    void discardBackups()
    {
        std::error_code ec;
        if (!backupFolder_.empty())
            fs::remove_all(backupFolder_, ec);
        backupFolder_.clear();
    }

private:
    struct Copied {
        std::u16string devicePath;
        fs::path host;
        std::optional<fs::path> backup;
    };

    // Outside the phone's file system, so the user never sees it.
    fs::path backupFolder()
    {
        if (backupFolder_.empty()) {
            backupFolder_ = handset::deviceRoot() / "run" / ("installer." + std::to_string(::getpid()));
            std::error_code ec;
            fs::create_directories(backupFolder_, ec);
        }
        return backupFolder_;
    }

    std::vector<std::u16string> createdFolders_;
    std::vector<Copied> copies_;
    fs::path backupFolder_;
};

// --- Registry entries, with what is needed to take them back -----------------

struct PriorValue {
    RegKeyPath key;
    std::u16string name;
    bool existed = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegistryUndo {
    std::vector<RegKeyPath> createdKeys;  // every key made, parents first
    std::vector<PriorValue> values;
};

PriorValue priorValue(const RegKeyPath& key, const std::u16string& name)
{
    PriorValue prior{key, name, false, REG_NONE, {}};
    HKEY opened = nullptr;
    if (RegOpenKeyEx(key.root, key.subKey.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return prior;
    DWORD size = 0;
    if (RegQueryValueEx(opened, name.c_str(), nullptr, &prior.type, nullptr, &size) == ERROR_SUCCESS) {
        prior.data.resize(size);
        prior.existed = RegQueryValueEx(opened, name.c_str(), nullptr, &prior.type, prior.data.data(), &size) ==
                        ERROR_SUCCESS;
        prior.data.resize(size);
    }
    RegCloseKey(opened);
    return prior;
}

// What writing `keys` will change, read before anything is written.
RegistryUndo planUndo(const std::vector<PackageKey>& keys)
{
    RegistryUndo undo;
    for (const PackageKey& entry : keys) {
        for (const RegKeyPath& key : keyAndParents(entry.key)) {
            const bool planned = std::any_of(undo.createdKeys.begin(), undo.createdKeys.end(), [&](const RegKeyPath& k) {
                return k.root == key.root && sameName(k.subKey, key.subKey);
            });
            if (!planned && !keyExists(key))
                undo.createdKeys.push_back(key);
        }
        for (const PackageValue& value : entry.values)
            undo.values.push_back(priorValue(entry.key, value.name));
    }
    return undo;
}

LONG writeKeys(const std::vector<PackageKey>& keys)
{
    for (const PackageKey& entry : keys) {
        HKEY key = nullptr;
        LONG rc = RegCreateKeyEx(entry.key.root, entry.key.subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &key, nullptr);
        if (rc != ERROR_SUCCESS)
            return rc;
        for (const PackageValue& value : entry.values) {
            rc = RegSetValueEx(key, value.name.c_str(), 0, value.type, value.data.data(),
                               static_cast<DWORD>(value.data.size()));
            if (rc != ERROR_SUCCESS)
                break;
        }
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    return ERROR_SUCCESS;
}

LONG undoRegistry(const RegistryUndo& undo)
{
    return handset::RegApplyBatch([&]() -> LONG {
        for (const PriorValue& prior : undo.values) {
            HKEY key = nullptr;
            if (RegOpenKeyEx(prior.key.root, prior.key.subKey.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
                continue;
            LONG rc = prior.existed ? RegSetValueEx(key, prior.name.c_str(), 0, prior.type, prior.data.data(),
                                                    static_cast<DWORD>(prior.data.size()))
                                    : RegDeleteValue(key, prior.name.c_str());
            RegCloseKey(key);
            if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
                return rc;
        }
        // The topmost made keys go with everything below them.
        for (const RegKeyPath& key : undo.createdKeys) {
            const LONG rc = RegDeleteKey(key.root, key.subKey.c_str());
            if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
                return rc;
        }
        return ERROR_SUCCESS;
    });
}

// --- The running device ----------------------------------------------------

// Asks the running Today screen to reload its items; false when it does not run.
bool reloadToday()
{
    const std::string path = today::socketPath().string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::strcpy(address.sun_path, path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool answered = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::write(fd, "reload\n", 7) == 7) {
        std::string reply;
        char buffer[256];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            reply.append(buffer, static_cast<std::size_t>(n));
        answered = reply.rfind("ok", 0) == 0;
    }
    ::close(fd);
    return answered;
}

void notePickUp(InstallResult& result)
{
    if (reloadToday())
        result.did.push_back("the Today screen reloaded its items");
    else
        result.did.push_back("the Today screen is not running: it loads its items when the device boots");
    result.did.push_back("the messaging host loads its rule clients when it next starts");
}

// The setup library of a package, freed when done.
class SetupLibrary {
public:
    SetupLibrary() = default;
    ~SetupLibrary()
    {
        if (module_)
            FreeLibrary(module_);
    }
    SetupLibrary(const SetupLibrary&) = delete;
    SetupLibrary& operator=(const SetupLibrary&) = delete;

    bool load(const std::u16string& path)
    {
        module_ = LoadLibrary(path.c_str());
        return module_ != nullptr;
    }
    template <typename F>
    F entry(const char16_t* name) const
    {
        return module_ ? reinterpret_cast<F>(GetProcAddress(module_, name)) : nullptr;
    }

private:
    HMODULE module_ = nullptr;
};

// Whether `file` is inside `folder` once links are followed: a package may
// not hand the device a file from elsewhere on the host.
bool insideFolder(const fs::path& file, const fs::path& folder)
{
    std::error_code ec;
    const fs::path realFile = fs::weakly_canonical(file, ec);
    if (ec)
        return false;
    const fs::path realFolder = fs::weakly_canonical(folder, ec);
    if (ec)
        return false;
    auto [folderEnd, fileIt] = std::mismatch(realFolder.begin(), realFolder.end(), realFile.begin(), realFile.end());
    return folderEnd == realFolder.end() && fileIt != realFile.end();
}

InstallResult failed(InstallResult result, std::string step, std::string error)
{
    result.step = std::move(step);
    result.error = std::move(error);
    handset::logLine("install", "failed at " + result.step + ": " + result.error + "; the device is as it was");
    return result;
}

}  // namespace

InstallResult installPackage(const fs::path& package, HWND parent)
{
    InstallResult result;
    std::error_code ec;
    const fs::path folder = fs::is_directory(package, ec) ? fs::absolute(package) : fs::absolute(package).parent_path();
    const fs::path documentPath = fs::is_directory(package, ec) ? folder / kDocumentName : fs::absolute(package);

    // 1. The document.
    if (!fs::exists(package, ec))
        return failed(result, "reading the package", "there is no package at " + fs::absolute(package).string());
    const std::optional<std::string> bytes = handset::readHostFile(documentPath);
    if (!bytes)
        return failed(result, "reading the package", "there is no package document " + documentPath.string());
    const PackageParseResult parsed = parsePackageDocument(*bytes);
    if (!parsed.ok())
        return failed(result, "reading the package",
                      documentPath.string() + (parsed.line ? ":" + std::to_string(parsed.line) : "") + ": " +
                          parsed.error);
    const PackageDocument& document = *parsed.document;
    handset::logLine("install", "installing " + utf8(document.appName) + " from " + folder.string());
    const std::optional<Record> previous = readRecord(document.appName);

    // 2. The setup library and its first call.
    SetupLibrary setup;
    pfnINSTALL_EXIT installExit = nullptr;
    if (!document.setupLibrary.empty()) {
        const fs::path library = folder / document.setupLibrary;
        if (!fs::is_regular_file(library, ec) || !setup.load(handset::fromUtf8(library.string())))
            return failed(result, "loading the setup library",
                          "cannot load " + document.setupLibrary + " (error " + std::to_string(GetLastError()) + ")");
        const auto installInit = setup.entry<pfnINSTALL_INIT>(u"Install_Init");
        installExit = setup.entry<pfnINSTALL_EXIT>(u"Install_Exit");
        if (!installInit || !installExit)
            return failed(result, "loading the setup library",
                          document.setupLibrary + " does not export Install_Init and Install_Exit");
        if (installInit(parent, TRUE, previous ? TRUE : FALSE, document.installDir.c_str()) !=
            codeINSTALL_INIT_CONTINUE)
            return failed(result, "Install_Init", "the setup library cancelled the installation");
    }

    // 3. Folders and files.
    Record record = previous.value_or(Record{});
    record.installDir = document.installDir;
    record.setupLibrary.clear();
    FileJournal files;
    std::size_t copied = 0;
    for (const PackageFolder& packageFolder : document.folders) {
        if (std::string error = files.makeFolder(packageFolder.path); !error.empty()) {
            files.undo();
            return failed(result, "copying the files", error);
        }
        for (const PackageFile& file : packageFolder.files) {
            const std::u16string target = packageFolder.path + u"\\" + file.name;
            if (fs::exists(folder / file.source, ec) && !insideFolder(folder / file.source, folder)) {
                files.undo();
                return failed(result, "copying the files", file.source + " leads out of the package");
            }
            if (std::string error = files.copy(folder / file.source, target); !error.empty()) {
                files.undo();
                return failed(result, "copying the files", error);
            }
            ++copied;
            addOnce(record.files, target);
            if (!document.setupLibrary.empty() && file.source == document.setupLibrary)
                record.setupLibrary = target;
        }
    }
    for (const std::u16string& made : files.createdFolders())
        addOnce(record.folders, made);
    result.did.push_back("copied " + std::to_string(copied) + " files into " + utf8(document.installDir));

    // 4. Registry entries and the record, all or none.
    RegistryUndo undo = planUndo(document.keys);
    std::size_t valueCount = 0;
    for (const RegKeyPath& made : undo.createdKeys)
        addOnce(record.keys, keyText(made));
    for (const PackageKey& entry : document.keys) {
        for (const PackageValue& value : entry.values) {
            // A value is recorded once, as a pair of its key and its name.
            const std::u16string key = keyText(entry.key), name = u"=" + value.name;
            bool known = false;
            for (std::size_t i = 0; i + 1 < record.values.size(); i += 2)
                known = known || (sameName(record.values[i], key) && sameName(record.values[i + 1], name));
            if (!known) {
                record.values.push_back(key);
                record.values.push_back(name);
            }
            ++valueCount;
        }
    }
    // The keys above the record that this installation makes go with it.
    const std::vector<RegKeyPath> recordChain = keyAndParents(recordKey(document.appName));
    for (std::size_t i = 0; i + 1 < recordChain.size(); ++i)
        if (!keyExists(recordChain[i]))
            addOnce(record.keys, keyText(recordChain[i]));
    std::vector<PackageKey> writes = document.keys;
    writes.push_back(recordEntries(document.appName, record));
    {
        const RegistryUndo recordUndo = planUndo({writes.back()});
        undo.createdKeys.insert(undo.createdKeys.end(), recordUndo.createdKeys.begin(), recordUndo.createdKeys.end());
        undo.values.insert(undo.values.end(), recordUndo.values.begin(), recordUndo.values.end());
    }
    if (const LONG rc = handset::RegApplyBatch([&] { return writeKeys(writes); }); rc != ERROR_SUCCESS) {
        files.undo();
        return failed(result, "writing the registry entries", "the registry refused them (error " +
                                                                   std::to_string(rc) + ")");
    }
    result.did.push_back("wrote " + std::to_string(valueCount) + " registry values");

    // 5. The setup library's last call.
    if (installExit) {
        if (installExit(parent, document.installDir.c_str(), 0, 0, 0, 0, 0) != codeINSTALL_EXIT_DONE) {
            const LONG rc = undoRegistry(undo);
            files.undo();
            if (rc != ERROR_SUCCESS)
                return failed(result, "Install_Exit",
                              "the setup library asked to undo the installation, and the registry entries could not "
                              "be taken back (error " + std::to_string(rc) + ")");
            return failed(result, "Install_Exit", "the setup library asked to undo the installation");
        }
        result.did.push_back("the setup library finished the installation");
    }
    files.discardBackups();
    handset::logLine("install", "installed " + utf8(document.appName) + " into " + utf8(document.installDir));
    notePickUp(result);
    return result;
}

InstallResult uninstallPackage(const std::u16string& appName, HWND parent)
{
    InstallResult result;
    const std::optional<Record> record = readRecord(appName);
    if (!record)
        return failed(result, "finding the package", utf8(appName) + " is not installed");
    handset::logLine("install", "removing " + utf8(appName));

    SetupLibrary setup;
    pfnUNINSTALL_EXIT uninstallExit = nullptr;
    if (!record->setupLibrary.empty() && setup.load(record->setupLibrary)) {
        if (const auto uninstallInit = setup.entry<pfnUNINSTALL_INIT>(u"Uninstall_Init"))
            if (uninstallInit(parent, record->installDir.c_str()) != codeUNINSTALL_INIT_CONTINUE)
                return failed(result, "Uninstall_Init", "the setup library kept the package installed");
        uninstallExit = setup.entry<pfnUNINSTALL_EXIT>(u"Uninstall_Exit");
    }

    // The registry first, in one batch: a failure there removes nothing.
    const LONG rc = handset::RegApplyBatch([&]() -> LONG {
        for (std::size_t i = 0; i + 1 < record->values.size(); i += 2) {
            const std::optional<RegKeyPath> path = keyFromText(record->values[i]);
            HKEY key = nullptr;
            if (!path || RegOpenKeyEx(path->root, path->subKey.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
                continue;
            const LONG deleted = RegDeleteValue(key, record->values[i + 1].substr(1).c_str());
            RegCloseKey(key);
            if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND)
                return deleted;
        }
        const RegKeyPath own = recordKey(appName);
        if (const LONG deleted = RegDeleteKey(own.root, own.subKey.c_str()); deleted != ERROR_SUCCESS)
            return deleted;
        // Keys the installation made go when nothing else is left in them:
        // what the setup library or the user put there stays.
        std::vector<RegKeyPath> keys;
        for (const std::u16string& text : record->keys)
            if (const std::optional<RegKeyPath> path = keyFromText(text))
                keys.push_back(*path);
        std::stable_sort(keys.begin(), keys.end(),
                         [](const RegKeyPath& a, const RegKeyPath& b) { return depthOf(a) > depthOf(b); });
        for (const RegKeyPath& path : keys) {
            HKEY key = nullptr;
            if (RegOpenKeyEx(path.root, path.subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
                continue;
            handset::RegKeyContents contents;
            const LONG read = handset::readRegKey(key, contents);
            RegCloseKey(key);
            if (read != ERROR_SUCCESS)
                return read;
            if (contents.values.empty() && contents.subKeys.empty()) {
                const LONG deleted = RegDeleteKey(path.root, path.subKey.c_str());
                if (deleted != ERROR_SUCCESS)
                    return deleted;
            }
        }
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS)
        return failed(result, "removing the registry entries", "the registry refused (error " + std::to_string(rc) + ")");
    result.did.push_back("removed " + std::to_string(record->values.size() / 2) + " registry values");

    std::size_t removed = 0;
    std::vector<std::string> kept;
    for (const std::u16string& file : record->files) {
        if (DeleteFile(file.c_str()))
            ++removed;
        else if (GetLastError() != static_cast<DWORD>(ERROR_FILE_NOT_FOUND))
            kept.push_back(utf8(file));
    }
    std::vector<std::u16string> folders = record->folders;
    std::stable_sort(folders.begin(), folders.end(), [](const std::u16string& a, const std::u16string& b) {
        return std::count(a.begin(), a.end(), u'\\') > std::count(b.begin(), b.end(), u'\\');
    });
    for (const std::u16string& made : folders)
        RemoveDirectory(made.c_str());  // a folder the user keeps files in stays
    result.did.push_back("removed " + std::to_string(removed) + " files");
    for (const std::string& file : kept)
        result.did.push_back("could not remove " + file);

    if (uninstallExit)
        uninstallExit(parent);
    handset::logLine("install", "removed " + utf8(appName));
    notePickUp(result);
    return result;
}

}  // namespace installer
