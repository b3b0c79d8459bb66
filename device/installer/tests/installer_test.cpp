// Installing and removing a package on a fresh device: what lands where,
// what the record keeps, and that a failed installation leaves the registry
// and the file system exactly as they were.
#include "installer.h"

#include <fstream>
#include <functional>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include <handset/device.h>
#include <handset/log.h>
#include <handset/regfile.h>
#include <handset/registry.h>
#include <handset/wstring.h>

#include "run_program.h"
#include "test_device.h"

namespace {

namespace fs = std::filesystem;

// Every key and value of the three roots, and every entry of the file
// system with its content and permissions.
struct DeviceSnapshot {
    std::string registry;
    std::map<std::string, std::string> files;
    bool operator==(const DeviceSnapshot&) const = default;
};

DeviceSnapshot snapshot()
{
    DeviceSnapshot shot;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT}) {
        const handset::RegExportResult exported = handset::exportRegKey({root, u""});
        EXPECT_TRUE(exported.ok()) << exported.message;
        shot.registry += exported.text;
    }
    const fs::path top = handset::deviceFileSystem();
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        const std::string name = fs::relative(entry.path(), top).string();
        const auto perms = static_cast<unsigned>(entry.status().permissions());
        shot.files[name] = std::to_string(perms) + ":" +
                           (entry.is_directory() ? std::string("folder") : handset::testing::slurp(entry.path()));
    }
    return shot;
}

void setNumber(HKEY root, LPCWSTR path, LPCWSTR name, DWORD value)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(root, path, 0, nullptr, 0, 0, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
    RegCloseKey(key);
}

bool hasValue(HKEY root, LPCWSTR path, LPCWSTR name)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, path, 0, 0, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    const bool found = RegQueryValueEx(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

bool hasKey(HKEY root, LPCWSTR path)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, path, 0, 0, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class InstallerTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        package_ = device_.root().parent_path() / (device_.root().filename().string() + "-package");
        fs::create_directories(package_ / "bin");
        fs::copy_file(INSTALLER_TEST_SETUP, package_ / "setup.dll");
        std::ofstream(package_ / "bin/app") << "#!/bin/sh\necho app\n";
        fs::permissions(package_ / "bin/app", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
        std::ofstream(package_ / "readme.htm") << "<p>help</p>";
        // A key that is there before any installation, as the messaging
        // host's rule list is.
        setNumber(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules", u"{Other}", 1);
        // The setup library writes below HKCU "Software", as a phone has it.
        setNumber(HKEY_CURRENT_USER, u"Software", u"Present", 1);
        writeDocument({"App.exe:bin/app", "Readme.htm:readme.htm", "Setup.dll:setup.dll"});
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(package_, ec);
    }

    // The document with its files ("Name:source") in \Program Files\Test.
    void writeDocument(const std::vector<std::string>& files)
    {
        std::string list;
        for (const std::string& f : files) {
            const std::string name = f.substr(0, f.find(':')), source = f.substr(f.find(':') + 1);
            list += "<characteristic type=\"" + name + "\"><characteristic type=\"Extract\"><parm name=\"Source\" "
                    "value=\"" + source + "\"/></characteristic></characteristic>\n";
        }
        std::ofstream(package_ / installer::kDocumentName)
            << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<wap-provisioningdoc>\n"
               "<characteristic type=\"Install\"><parm name=\"AppName\" value=\"Test\"/>"
               "<parm name=\"InstallDir\" value=\"\\Program Files\\Test\"/><parm name=\"SetupDll\" value=\"setup.dll\"/>"
               "</characteristic>\n"
               "<characteristic type=\"FileOperation\"><characteristic type=\"%InstallDir%\">\n"
               "<characteristic type=\"MakeDir\"/>\n" + list + "</characteristic></characteristic>\n"
               "<characteristic type=\"Registry\">\n"
               "<characteristic type=\"HKLM\\Software\\InstallerTestApp\"><parm name=\"DLL\" "
               "value=\"%InstallDir%\\App.exe\"/><parm name=\"Enabled\" value=\"1\" datatype=\"integer\"/>"
               "</characteristic>\n"
               "<characteristic type=\"HKCR\\CLSID\\{1234}\\InProcServer32\"><parm name=\"\" "
               "value=\"%InstallDir%\\Setup.dll\"/></characteristic>\n"
               "<characteristic type=\"HKLM\\Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules\"><parm name=\"{1234}\" "
               "value=\"1\" datatype=\"integer\"/></characteristic>\n"
               "</characteristic>\n</wap-provisioningdoc>\n";
    }

    static fs::path deviceFile(const std::string& relative) { return handset::deviceFileSystem() / relative; }
    static std::string log() { return handset::testing::slurp(handset::deviceLogPath()); }

    fs::path package_;
};

TEST_F(InstallerTest, InstallPutsTheFilesAndEntriesInPlaceAroundTheSetupLibrary)
{
    const installer::InstallResult result = installer::installPackage(package_);
    ASSERT_TRUE(result.ok()) << result.step << ": " << result.error;

    EXPECT_EQ("#!/bin/sh\necho app\n", handset::testing::slurp(deviceFile("Program Files/Test/App.exe")));
    EXPECT_NE(fs::perms::none, fs::status(deviceFile("Program Files/Test/App.exe")).permissions() & fs::perms::owner_exec);
    EXPECT_EQ("<p>help</p>", handset::testing::slurp(deviceFile("Program Files/Test/Readme.htm")));
    EXPECT_TRUE(hasValue(HKEY_LOCAL_MACHINE, u"Software\\InstallerTestApp", u"DLL"));
    EXPECT_TRUE(hasValue(HKEY_CLASSES_ROOT, u"CLSID\\{1234}\\InProcServer32", u""));
    EXPECT_TRUE(hasValue(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules", u"{1234}"));
    EXPECT_TRUE(hasValue(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Test", u"Instl"));
    EXPECT_TRUE(hasValue(HKEY_CURRENT_USER, u"Software\\InstallerTest", u"Seeded"));

    // Init before the files, Exit after, each once; the second installation
    // is told about the first.
    const std::string text = log();
    const std::size_t init = text.find("test-setup: Install_Init first=1 previous=0 dir=\\Program Files\\Test");
    ASSERT_NE(std::string::npos, init);
    EXPECT_NE(std::string::npos, text.find("test-setup: Install_Exit dir=\\Program Files\\Test", init));

    std::ofstream(package_ / "readme.htm") << "<p>new help</p>";
    ASSERT_TRUE(installer::installPackage(package_ / installer::kDocumentName).ok());
    EXPECT_NE(std::string::npos, log().find("test-setup: Install_Init first=1 previous=1"));
    EXPECT_EQ("<p>new help</p>", handset::testing::slurp(deviceFile("Program Files/Test/Readme.htm")));
}

TEST_F(InstallerTest, AFailedInstallationLeavesTheDeviceAsItWas)
{
    // An earlier file of the same name is replaced during the installation
    // and must come back.
    fs::create_directories(deviceFile("Program Files/Test"));
    std::ofstream(deviceFile("Program Files/Test/App.exe")) << "the old program";

    struct Failure {
        const char* what;
        std::function<void()> arrange;
        const char* step;
    };
    const Failure failures[] = {
        {"a package file missing", [&] { writeDocument({"App.exe:bin/app", "Readme.htm:readme.htm", "Gone.txt:gone.txt"}); },
         "copying the files"},
        {"the setup library cancels", [] { setNumber(HKEY_LOCAL_MACHINE, u"Software\\InstallerTest", u"InitAnswer", 1); },
         "Install_Init"},
        {"the setup library asks to undo",
         [] { setNumber(HKEY_LOCAL_MACHINE, u"Software\\InstallerTest", u"ExitAnswer", 1); }, "Install_Exit"},
        {"a package file linking out of the package",
         [&] {
             fs::remove(package_ / "link");
             fs::create_symlink("/etc/hostname", package_ / "link");
             writeDocument({"App.exe:bin/app", "Host.txt:link"});
         },
         "copying the files"},
        {"a broken document", [&] { std::ofstream(package_ / installer::kDocumentName) << "<wap-provisioningdoc>"; },
         "reading the package"},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.what);
        writeDocument({"App.exe:bin/app", "Readme.htm:readme.htm", "Setup.dll:setup.dll"});
        RegDeleteKey(HKEY_LOCAL_MACHINE, u"Software\\InstallerTest");
        failure.arrange();
        // The setup library's own entries are not the installer's to take back.
        RegDeleteKey(HKEY_CURRENT_USER, u"Software\\InstallerTest");
        RegDeleteKey(HKEY_LOCAL_MACHINE, u"Software\\InstallerTestApp\\Seeded");
        const DeviceSnapshot before = snapshot();

        const installer::InstallResult result = installer::installPackage(package_);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(failure.step, result.step) << result.error;

        RegDeleteKey(HKEY_CURRENT_USER, u"Software\\InstallerTest");
        RegDeleteKey(HKEY_LOCAL_MACHINE, u"Software\\InstallerTestApp\\Seeded");
        const DeviceSnapshot after = snapshot();
        EXPECT_EQ(before.registry, after.registry);
        EXPECT_EQ(before.files, after.files);
    }
    EXPECT_EQ("the old program", handset::testing::slurp(deviceFile("Program Files/Test/App.exe")));
    EXPECT_NE(std::string::npos, log().find("install: failed at copying the files: the package has no file gone.txt"));
}

TEST_F(InstallerTest, UninstallRemovesExactlyThePackagesOwnFilesAndEntries)
{
    const DeviceSnapshot before = snapshot();
    ASSERT_TRUE(installer::installPackage(package_).ok());
    // The user keeps a file of their own beside the program.
    std::ofstream(deviceFile("Program Files/Test/notes.txt")) << "mine";

    const installer::InstallResult result = installer::uninstallPackage(u"Test");
    ASSERT_TRUE(result.ok()) << result.step << ": " << result.error;

    EXPECT_FALSE(fs::exists(deviceFile("Program Files/Test/App.exe")));
    EXPECT_FALSE(fs::exists(deviceFile("Program Files/Test/Setup.dll")));
    EXPECT_TRUE(fs::exists(deviceFile("Program Files/Test/notes.txt")));
    EXPECT_FALSE(hasKey(HKEY_CLASSES_ROOT, u"CLSID\\{1234}"));
    EXPECT_FALSE(hasValue(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules", u"{1234}"));
    EXPECT_TRUE(hasValue(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules", u"{Other}"));
    EXPECT_FALSE(hasKey(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Test"));
    // What the setup library wrote stays, and so does the key it wrote into.
    EXPECT_FALSE(hasValue(HKEY_LOCAL_MACHINE, u"Software\\InstallerTestApp", u"DLL"));
    EXPECT_TRUE(hasValue(HKEY_LOCAL_MACHINE, u"Software\\InstallerTestApp\\Seeded", u"By"));
    EXPECT_TRUE(hasValue(HKEY_CURRENT_USER, u"Software\\InstallerTest", u"Seeded"));
    const std::string text = log();
    const std::size_t init = text.find("test-setup: Uninstall_Init dir=\\Program Files\\Test");
    ASSERT_NE(std::string::npos, init);
    EXPECT_NE(std::string::npos, text.find("test-setup: Uninstall_Exit", init));

    // Without the user's file, its folder and the setup library's entries,
    // the device is back to where it was; a second removal has nothing to do.
    fs::remove(deviceFile("Program Files/Test/notes.txt"));
    fs::remove(deviceFile("Program Files/Test"));
    RegDeleteKey(HKEY_CURRENT_USER, u"Software\\InstallerTest");
    RegDeleteKey(HKEY_LOCAL_MACHINE, u"Software\\InstallerTestApp");
    const DeviceSnapshot after = snapshot();
    EXPECT_EQ(before.registry, after.registry);
    EXPECT_EQ(before.files, after.files);
    const installer::InstallResult again = installer::uninstallPackage(u"Test");
    EXPECT_EQ("finding the package", again.step);
    EXPECT_EQ("Test is not installed", again.error);
}

}  // namespace
