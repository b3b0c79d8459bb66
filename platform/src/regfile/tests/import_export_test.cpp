// .reg files against a real registry: what import applies (all or nothing),
// what export writes, and that one undoes the other.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <handset/faults.h>
#include <handset/regfile.h>
#include <handset/registry.h>
#include <handset/wstring.h>

#include "reg_text.h"
#include "test_device.h"

namespace handset {

// Readable failures.
void PrintTo(const RegValue& value, std::ostream* out)
{
    *out << '"' << toUtf8(value.name) << "\" " << regTypeName(value.type) << " [";
    for (BYTE b : value.data)
        *out << ' ' << static_cast<int>(b);
    *out << " ]";
}

}  // namespace handset

namespace {

using namespace handset;
using handset::testing::DeviceTest;

// Everything below a key, by path relative to it: the values in order.
using Tree = std::map<std::u16string, std::vector<RegValue>>;

void collect(HKEY key, const std::u16string& path, Tree& tree)
{
    RegKeyContents contents;
    ASSERT_EQ(ERROR_SUCCESS, readRegKey(key, contents));
    tree[path] = contents.values;
    for (const std::u16string& name : contents.subKeys) {
        HKEY child = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(key, name.c_str(), 0, KEY_READ, &child));
        collect(child, path + u"\\" + name, tree);
        RegCloseKey(child);
    }
}

Tree treeOf(HKEY root)
{
    Tree tree;
    collect(root, u"", tree);
    return tree;
}

void setValue(HKEY root, const std::u16string& key, const std::u16string& name, DWORD type,
              const std::vector<BYTE>& data)
{
    HKEY open = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &open, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(open, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())));
    RegCloseKey(open);
}


std::optional<RegValue> valueAt(HKEY root, const std::u16string& key, const std::u16string& name)
{
    HKEY open = nullptr;
    if (RegOpenKeyEx(root, key.c_str(), 0, KEY_READ, &open) != ERROR_SUCCESS)
        return std::nullopt;
    RegValue value{name, REG_NONE, std::vector<BYTE>(4096, 0xbd)};
    DWORD size = static_cast<DWORD>(value.data.size());
    const LONG rc = RegQueryValueEx(open, name.c_str(), nullptr, &value.type, value.data.data(), &size);
    RegCloseKey(open);
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    return value;
}

bool keyExists(HKEY root, const std::u16string& key)
{
    HKEY open = nullptr;
    if (RegOpenKeyEx(root, key.c_str(), 0, KEY_READ, &open) != ERROR_SUCCESS)
        return false;
    RegCloseKey(open);
    return true;
}

LONG importText(const std::string& text, int* failedLine = nullptr)
{
    RegParseResult parsed = parseRegFile(text);
    EXPECT_TRUE(parsed.ok());
    return applyRegOperations(parsed.operations, failedLine);
}

class RegImport : public DeviceTest {};
class RegExport : public DeviceTest {};

TEST_F(RegImport, AppliesKeysValuesAndDeletions)
{
    setValue(HKEY_CURRENT_USER, u"Old\\Deep\\Deeper", u"x", REG_DWORD, {1, 0, 0, 0});
    setValue(HKEY_CURRENT_USER, u"Keep", u"drop", REG_DWORD, {1, 0, 0, 0});
    setValue(HKEY_CURRENT_USER, u"Keep", u"stay", REG_DWORD, {2, 0, 0, 0});

    ASSERT_EQ(ERROR_SUCCESS, importText(kHeader +
                                        "[HKEY_CURRENT_USER\\New\\Empty]\n"
                                        "[HKCU\\New]\n"
                                        "@=\"default\"\n"
                                        "\"Sound\"=\"\\\\Windows\\\\Ring.wav\"\n"
                                        "\"n\"=dword:ffffffff\n"
                                        "\"b\"=hex:00,01\n"
                                        "\"q\"=hex(b):01,00,00,00,00,00,00,00\n"
                                        "[-HKCU\\Old]\n"
                                        "[-HKCU\\NeverExisted]\n"
                                        "[HKCU\\Keep]\n"
                                        "\"drop\"=-\n"
                                        "\"neverExisted\"=-\n"
                                        "[HKEY_CLASSES_ROOT\\Media Type\\Extensions\\.mid]\n"));

    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"New\\Empty"));
    EXPECT_EQ((RegValue{u"", REG_SZ, utf16z(u"default")}), valueAt(HKEY_CURRENT_USER, u"New", u""));
    // Names are found in any case.
    EXPECT_EQ(utf16z(u"\\Windows\\Ring.wav"), valueAt(HKEY_CURRENT_USER, u"new", u"SOUND")->data);
    EXPECT_EQ((std::vector<BYTE>{0xff, 0xff, 0xff, 0xff}), valueAt(HKEY_CURRENT_USER, u"New", u"n")->data);
    EXPECT_EQ(REG_BINARY, valueAt(HKEY_CURRENT_USER, u"New", u"b")->type);
    EXPECT_EQ(REG_QWORD, valueAt(HKEY_CURRENT_USER, u"New", u"q")->type);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Old"));
    EXPECT_FALSE(valueAt(HKEY_CURRENT_USER, u"Keep", u"drop"));
    EXPECT_TRUE(valueAt(HKEY_CURRENT_USER, u"Keep", u"stay"));
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, u"Media Type\\Extensions\\.mid"));
}

TEST_F(RegImport, ValuesOnARootKey)
{
    ASSERT_EQ(ERROR_SUCCESS, importText(kHeader + "[HKEY_LOCAL_MACHINE]\n\"top\"=dword:00000007\n"));
    EXPECT_EQ((std::vector<BYTE>{7, 0, 0, 0}), valueAt(HKEY_LOCAL_MACHINE, u"", u"top")->data);
}

TEST_F(RegImport, LaterLinesWinAndOrderIsKept)
{
    ASSERT_EQ(ERROR_SUCCESS, importText(kHeader +
                                        "[HKCU\\K]\n\"a\"=dword:00000001\n"
                                        "[-HKCU\\K]\n"
                                        "[HKCU\\K]\n\"b\"=dword:00000002\n\"a\"=dword:00000003\n\"b\"=-\n"));
    EXPECT_FALSE(valueAt(HKEY_CURRENT_USER, u"K", u"b"));
    EXPECT_EQ((std::vector<BYTE>{3, 0, 0, 0}), valueAt(HKEY_CURRENT_USER, u"K", u"a")->data);
}

TEST_F(RegImport, MalformedFileChangesNothing)
{
    setValue(HKEY_CURRENT_USER, u"Existing", u"v", REG_DWORD, {5, 0, 0, 0});
    const Tree before = treeOf(HKEY_CURRENT_USER);

    const std::filesystem::path file = device_.root() / "broken.reg";
    std::ofstream(file) << kHeader << "[HKCU\\New]\n\"a\"=\"b\"\n[-HKCU\\Existing]\n\"c\"=dword:xyz\n";
    RegImportResult result = importRegFile(file);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(6, result.error->line);
    EXPECT_EQ(0u, result.operations);
    EXPECT_EQ(before, treeOf(HKEY_CURRENT_USER));
}

// A storage failure at any step of the import rolls all of it back.
TEST_F(RegImport, FailureAtAnyStorageStepChangesNothing)
{
    setValue(HKEY_CURRENT_USER, u"Existing\\Sub", u"v", REG_DWORD, {5, 0, 0, 0});
    const std::string file = kHeader +
                             "[HKCU\\A\\B]\n\"s\"=\"text\"\n\"d\"=dword:00000001\n"
                             "[-HKCU\\Existing]\n"
                             "[HKCR\\C]\n@=hex:01,02\n";
    const RegParseResult parsed = parseRegFile(file);
    ASSERT_TRUE(parsed.ok());

    // Count the steps of a successful run on a throwaway copy of the state.
    faults::failStep(faults::Store::Registry, 0, faults::Fault::IoError);
    ASSERT_EQ(ERROR_SUCCESS, applyRegOperations(parsed.operations));
    const int steps = faults::stepsTaken(faults::Store::Registry);
    ASSERT_GT(steps, 0);
    ASSERT_EQ(ERROR_SUCCESS, importText(kHeader + "[-HKCU\\A]\n[-HKCR\\C]\n[HKCU\\Existing\\Sub]\n\"v\"=dword:00000005\n"));
    const Tree userBefore = treeOf(HKEY_CURRENT_USER);
    const Tree classesBefore = treeOf(HKEY_CLASSES_ROOT);

    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE("failing step " + std::to_string(step));
        faults::failStep(faults::Store::Registry, step, faults::Fault::IoError);
        int failedLine = -1;
        EXPECT_NE(ERROR_SUCCESS, applyRegOperations(parsed.operations, &failedLine));
        faults::failStep(faults::Store::Registry, 0, faults::Fault::IoError);
        EXPECT_GE(failedLine, 0);
        EXPECT_EQ(userBefore, treeOf(HKEY_CURRENT_USER));
        EXPECT_EQ(classesBefore, treeOf(HKEY_CLASSES_ROOT));
    }
}

TEST_F(RegImport, FilesOnDisk)
{
    // UTF-16LE with its byte order mark, as the platform's editor saves.
    const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\T\u00f6ne]\r\n"
                                u"\"Sound\"=\"\\\\My Documents\\\\\u00c4.mid\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    const std::filesystem::path file = device_.root() / "utf16.reg";
    std::ofstream(file, std::ios::binary) << bytes;
    RegImportResult result = importRegFile(file);
    ASSERT_TRUE(result.ok()) << result.error->message;
    EXPECT_EQ(2u, result.operations);
    EXPECT_EQ(utf16z(u"\\My Documents\\\u00c4.mid"), valueAt(HKEY_CURRENT_USER, u"T\u00f6ne", u"Sound")->data);

    result = importRegFile(device_.root() / "missing.reg");
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(0, result.error->line);
    result = importRegFile(device_.root());
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(0, result.error->line);
}

TEST_F(RegExport, WritesTheRegistryEditorsFormat)
{
    setValue(HKEY_CURRENT_USER, u"Sounds\\RingTone0", u"Sound", REG_SZ, utf16z(u"\\Windows\\Ring \"1\".wav"));
    setValue(HKEY_CURRENT_USER, u"Sounds\\RingTone0", u"", REG_SZ, utf16z(u"default"));
    setValue(HKEY_CURRENT_USER, u"Sounds\\RingTone0", u"InitVol", REG_DWORD, {3, 0, 0, 0});
    setValue(HKEY_CURRENT_USER, u"Sounds\\RingTone0", u"Bytes", REG_BINARY, {0x00, 0xab});
    setValue(HKEY_CURRENT_USER, u"Sounds\\RingTone0", u"Path", REG_EXPAND_SZ, utf16z(u"%A"));
    setValue(HKEY_CURRENT_USER, u"Sounds\\RingTone0", u"Empty", REG_BINARY, {});
    setValue(HKEY_CURRENT_USER, u"Sounds\\Alpha", u"q", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyEx(HKEY_CURRENT_USER, u"Sounds\\Alpha\\Empty", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);

    RegExportResult result = exportRegKey({HKEY_CURRENT_USER, u"sounds"});
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ("Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CURRENT_USER\\Sounds]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Sounds\\Alpha]\n"
              "\"q\"=hex(b):01,02,03,04,05,06,07,08\n"
              "\n"
              "[HKEY_CURRENT_USER\\Sounds\\Alpha\\Empty]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Sounds\\RingTone0]\n"
              "\"Sound\"=\"\\\\Windows\\\\Ring \\\"1\\\".wav\"\n"
              "@=\"default\"\n"
              "\"InitVol\"=dword:00000003\n"
              "\"Bytes\"=hex:00,ab\n"
              "\"Path\"=hex(2):25,00,41,00,00,00\n"
              "\"Empty\"=hex:\n"
              "\n",
              result.text);
}

TEST_F(RegExport, LongHexListsAreWrapped)
{
    setValue(HKEY_CURRENT_USER, u"K", u"blob", REG_BINARY, std::vector<BYTE>(60, 0x11));
    RegExportResult result = exportRegKey({HKEY_CURRENT_USER, u"K"});
    ASSERT_TRUE(result.ok());
    std::istringstream lines(result.text);
    std::string line;
    int continued = 0;
    while (std::getline(lines, line)) {
        SCOPED_TRACE(line);
        EXPECT_LE(line.size(), 80u);
        if (!line.empty() && line.back() == '\\')
            ++continued;
    }
    EXPECT_EQ(2, continued);
    // And it reads back to the same bytes.
    RegParseResult parsed = parseRegFile(result.text);
    ASSERT_TRUE(parsed.ok());
    ASSERT_EQ(2u, parsed.operations.size());
    EXPECT_EQ(std::vector<BYTE>(60, 0x11), parsed.operations[1].data);
}

TEST_F(RegExport, MissingKeyAndUnwritableNames)
{
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, exportRegKey({HKEY_CURRENT_USER, u"Nowhere\\At\\All"}).status);

    setValue(HKEY_CURRENT_USER, u"Bad", u"two\nlines", REG_DWORD, {1, 0, 0, 0});
    RegExportResult result = exportRegKey({HKEY_CURRENT_USER, u"Bad"});
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.message.empty());
    EXPECT_TRUE(result.text.empty());
}

// Whatever a key holds, export and import give back the identical registry.
TEST_F(RegExport, RoundTripRestoresTheIdenticalRegistry)
{
    const std::u16string top = u"Software\\Quorrel\\Tonquil";
    setValue(HKEY_CURRENT_USER, top, u"InstallDir", REG_SZ, utf16z(u"\\Program Files\\Tonquil"));
    setValue(HKEY_CURRENT_USER, top, u"", REG_SZ, utf16z(u""));
    setValue(HKEY_CURRENT_USER, top, u"quote\"and\\backslash", REG_SZ, utf16z(u"a\"b\\c"));
    setValue(HKEY_CURRENT_USER, top, u"unicode \u00e9\U0001F3B5", REG_SZ, utf16z(u"\u00fc\U0001F514"));
    setValue(HKEY_CURRENT_USER, top, u"no terminator", REG_SZ, {'a', 0, 'b', 0});
    setValue(HKEY_CURRENT_USER, top, u"inner nul", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0});
    setValue(HKEY_CURRENT_USER, top, u"odd size", REG_SZ, {'a', 0, 0});
    setValue(HKEY_CURRENT_USER, top, u"line break", REG_SZ, utf16z(u"one\r\ntwo"));
    setValue(HKEY_CURRENT_USER, top, u"lone surrogate", REG_SZ, {0x00, 0xd8, 0, 0});
    setValue(HKEY_CURRENT_USER, top, u"empty sz", REG_SZ, {});
    setValue(HKEY_CURRENT_USER, top, u"short dword", REG_DWORD, {1, 2, 3});
    setValue(HKEY_CURRENT_USER, top + u"\\Profiles", u"currentProfile", REG_DWORD, {0xff, 0xff, 0xff, 0xff});
    setValue(HKEY_CURRENT_USER, top + u"\\Profiles", u"schedule", REG_BINARY, std::vector<BYTE>(200, 0x5a));
    setValue(HKEY_CURRENT_USER, top + u"\\Profiles\\0", u"callVolume", REG_DWORD, {3, 0, 0, 0});
    setValue(HKEY_CURRENT_USER, top + u"\\Types", u"none", REG_NONE, {});
    setValue(HKEY_CURRENT_USER, top + u"\\Types", u"multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
    setValue(HKEY_CURRENT_USER, top + u"\\Types", u"big", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1});
    setValue(HKEY_CURRENT_USER, top + u"\\Types", u"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
    setValue(HKEY_CURRENT_USER, top + u"\\Types", u"odd type", 0x12345678, {9});
    setValue(HKEY_CURRENT_USER, top + u"\\Key with ] and spaces ", u"v", REG_DWORD, {0, 0, 0, 0});
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, (top + u"\\Empty\\Deeper").c_str(), 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);

    const Tree before = treeOf(HKEY_CURRENT_USER);
    RegExportResult exported = exportRegKey({HKEY_CURRENT_USER, top});
    ASSERT_TRUE(exported.ok()) << exported.message;

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKey(HKEY_CURRENT_USER, u"Software"));
    ASSERT_FALSE(keyExists(HKEY_CURRENT_USER, top));
    RegParseResult parsed = parseRegFile(exported.text);
    ASSERT_TRUE(parsed.ok()) << "line " << parsed.error->line << ": " << parsed.error->message;
    ASSERT_EQ(ERROR_SUCCESS, applyRegOperations(parsed.operations));

    EXPECT_EQ(before, treeOf(HKEY_CURRENT_USER));
    RegExportResult again = exportRegKey({HKEY_CURRENT_USER, top});
    EXPECT_EQ(exported.text, again.text);
}

TEST(RegKeyPath, ParsesAndFormatsNames)
{
    EXPECT_EQ((RegKeyPath{HKEY_CLASSES_ROOT, u"Media Type\\Extensions\\.mid"}),
              parseRegKeyPath("hkcr\\Media Type\\Extensions\\.mid"));
    EXPECT_EQ((RegKeyPath{HKEY_LOCAL_MACHINE, u""}), parseRegKeyPath("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ((RegKeyPath{HKEY_LOCAL_MACHINE, u""}), parseRegKeyPath("HKLM\\"));
    EXPECT_FALSE(parseRegKeyPath("HKCU\\a\\\\b"));
    EXPECT_FALSE(parseRegKeyPath("\\Software"));
    EXPECT_FALSE(parseRegKeyPath("HKEY_CURRENT_USERS\\Software"));
    EXPECT_FALSE(parseRegKeyPath(""));
    EXPECT_EQ("HKEY_CURRENT_USER\\ControlPanel\\Sounds",
              formatRegKeyPath(*parseRegKeyPath("HKCU\\ControlPanel\\Sounds")));
    EXPECT_EQ("REG_MULTI_SZ", regTypeName(REG_MULTI_SZ));
    EXPECT_EQ("REG_0x12345678", regTypeName(0x12345678));
}

TEST_F(RegExport, StoredSpellingOfAKey)
{
    setValue(HKEY_CURRENT_USER, u"ControlPanel\\Sounds\\RingTone0", u"v", REG_DWORD, {0, 0, 0, 0});
    RegKeyPath stored;
    ASSERT_EQ(ERROR_SUCCESS, storedRegKeyPath({HKEY_CURRENT_USER, u"controlpanel\\SOUNDS\\ringtone0"}, stored));
    EXPECT_EQ((RegKeyPath{HKEY_CURRENT_USER, u"ControlPanel\\Sounds\\RingTone0"}), stored);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, storedRegKeyPath({HKEY_CURRENT_USER, u"ControlPanel\\Nothing"}, stored));
}

}  // namespace
