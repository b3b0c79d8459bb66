// The .reg reader on its own: every piece of the syntax, and refusals with
// the line at fault.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <handset/regfile.h>

#include "reg_text.h"

namespace {

using handset::parseRegFile;
using handset::RegKeyPath;
using handset::RegOperation;
using Kind = RegOperation::Kind;

// The operations of a file that must parse.
std::vector<RegOperation> parsed(const std::string& text)
{
    auto result = parseRegFile(text);
    EXPECT_TRUE(result.ok()) << "line " << (result.error ? result.error->line : 0) << ": "
                             << (result.error ? result.error->message : "");
    return result.operations;
}

// The one value the file sets after its key line.
RegOperation valueOf(const std::string& valueLine)
{
    auto operations = parsed(kHeader + "[HKEY_CURRENT_USER\\K]\n" + valueLine + "\n");
    EXPECT_EQ(2u, operations.size());
    return operations.size() == 2 ? operations[1] : RegOperation{};
}

// The line a file that must be refused is refused at.
int refusedAt(const std::string& text)
{
    auto result = parseRegFile(text);
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.operations.empty());
    return result.error ? result.error->line : -1;
}

TEST(RegParse, BothHeadersAreAccepted)
{
    EXPECT_TRUE(parseRegFile("Windows Registry Editor Version 5.00\r\n").ok());
    EXPECT_TRUE(parseRegFile("REGEDIT4\n").ok());
    EXPECT_TRUE(parseRegFile("REGEDIT4  \t").ok());  // trailing blanks
}

TEST(RegParse, HeaderMustBeTheFirstLine)
{
    EXPECT_EQ(1, refusedAt(""));
    EXPECT_EQ(1, refusedAt("\nREGEDIT4\n"));
    EXPECT_EQ(1, refusedAt("Windows Registry Editor Version 4.00\n"));
    EXPECT_EQ(1, refusedAt("[HKEY_CURRENT_USER\\K]\n"));
}

TEST(RegParse, KeySectionsWithLongAndShortRootNamesInAnyCase)
{
    const struct {
        const char* line;
        HKEY root;
    } cases[] = {
        {"[HKEY_LOCAL_MACHINE\\Software\\X]", HKEY_LOCAL_MACHINE}, {"[HKLM\\Software\\X]", HKEY_LOCAL_MACHINE},
        {"[HKEY_CURRENT_USER\\Software\\X]", HKEY_CURRENT_USER},   {"[hkcu\\Software\\X]", HKEY_CURRENT_USER},
        {"[HKEY_CLASSES_ROOT\\Software\\X]", HKEY_CLASSES_ROOT},   {"[Hkcr\\Software\\X]", HKEY_CLASSES_ROOT},
        {"[hkey_current_user\\Software\\X\\]", HKEY_CURRENT_USER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto operations = parsed(kHeader + c.line + "\n");
        ASSERT_EQ(1u, operations.size());
        EXPECT_EQ(Kind::CreateKey, operations[0].kind);
        EXPECT_EQ((RegKeyPath{c.root, u"Software\\X"}), operations[0].key);
        EXPECT_EQ(3, operations[0].line);
    }
}

TEST(RegParse, RootItselfAndKeyDeletion)
{
    auto operations = parsed(kHeader + "[HKEY_CURRENT_USER]\n[-HKCU\\Software\\Old]\n");
    ASSERT_EQ(2u, operations.size());
    EXPECT_EQ((RegKeyPath{HKEY_CURRENT_USER, u""}), operations[0].key);
    EXPECT_EQ(Kind::DeleteKey, operations[1].kind);
    EXPECT_EQ((RegKeyPath{HKEY_CURRENT_USER, u"Software\\Old"}), operations[1].key);
    EXPECT_EQ(4, operations[1].line);
}

TEST(RegParse, BadKeyLinesAreRefusedAtTheirLine)
{
    const char* lines[] = {
        "[HKEY_CURRENT_USER\\K",          // no closing bracket
        "[HKEY_USERS\\K]",                // a root the phone does not have
        "[HKCU\\a\\\\b]",                 // empty component
        "[-HKEY_CURRENT_USER]",           // roots cannot be deleted
        "[]",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        EXPECT_EQ(4, refusedAt(kHeader + "; fine so far\n" + line + "\n\"a\"=\"b\"\n"));
    }
    EXPECT_EQ(3, refusedAt(kHeader + "[HKCU\\" + std::string(256, 'k') + "]\n"));
    EXPECT_TRUE(parseRegFile(kHeader + "[HKCU\\" + std::string(255, 'k') + "]\n").ok());
}

TEST(RegParse, StringValuesAreStoredWithTheirTerminator)
{
    RegOperation op = valueOf("\"Sound\"=\"\\\\Windows\\\\Ring \\\"1\\\".wav\"");
    EXPECT_EQ(Kind::SetValue, op.kind);
    EXPECT_EQ(u"Sound", op.valueName);
    EXPECT_EQ(REG_SZ, op.type);
    EXPECT_EQ(utf16z(u"\\Windows\\Ring \"1\".wav"), op.data);
    EXPECT_EQ(4, op.line);

    // Not ASCII, and outside the basic plane.
    op = valueOf("\"Gr\xC3\xBC\xC3\x9F\x65\"=\"\xF0\x9F\x8E\xB5\"");
    EXPECT_EQ(u"Grüße", op.valueName);
    EXPECT_EQ(utf16z(u"\U0001F3B5"), op.data);

    op = valueOf("\"Empty\"=\"\"");
    EXPECT_EQ((std::vector<BYTE>{0, 0}), op.data);

    op = valueOf("\"quote\\\"d\\\\name\"  =  \"x\"   ");
    EXPECT_EQ(u"quote\"d\\name", op.valueName);
}

TEST(RegParse, DefaultValueIsAtSignOrEmptyName)
{
    for (const char* line : {"@=\"text\"", "\"\"=\"text\"", "@ = \"text\""}) {
        SCOPED_TRACE(line);
        RegOperation op = valueOf(line);
        EXPECT_EQ(u"", op.valueName);
        EXPECT_EQ(utf16z(u"text"), op.data);
    }
    EXPECT_EQ(0u, valueOf("@=dword:00000001").valueName.size());
}

TEST(RegParse, BadStringsAreRefused)
{
    const char* lines[] = {
        "\"a\"=\"no end",
        "\"a\"=\"\\Windows\\Ring.wav\"",  // single backslashes are unknown escapes
        "\"a\"=\"b\" junk",
        "\"no end=\"b\"",
        "\"a\" \"b\"",
        "\"a\"=",
        "\"a\"=text",
        "@x=\"b\"",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        EXPECT_EQ(4, refusedAt(kHeader + "[HKCU\\K]\n" + line + "\n"));
    }
}

TEST(RegParse, DwordValues)
{
    const struct {
        const char* text;
        std::vector<BYTE> bytes;
    } cases[] = {
        {"dword:00000003", {3, 0, 0, 0}},
        {"dword:ffffffff", {0xff, 0xff, 0xff, 0xff}},
        {"dword:DEADBEEF", {0xef, 0xbe, 0xad, 0xde}},
        {"DWORD:12", {0x12, 0, 0, 0}},
        {"dword:0", {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RegOperation op = valueOf(std::string("\"n\"=") + c.text);
        EXPECT_EQ(REG_DWORD, op.type);
        EXPECT_EQ(c.bytes, op.data);
    }
    for (const char* text : {"dword:", "dword:123456789", "dword:12g4", "dword:-1", "dword: 1"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(4, refusedAt(kHeader + "[HKCU\\K]\n\"n\"=" + text + "\n"));
    }
}

TEST(RegParse, HexValuesOfEveryType)
{
    const struct {
        const char* text;
        DWORD type;
        std::vector<BYTE> bytes;
    } cases[] = {
        {"hex:01,ab,FF", REG_BINARY, {0x01, 0xab, 0xff}},
        {"hex:", REG_BINARY, {}},
        {"hex: 1 , 2 ,3", REG_BINARY, {1, 2, 3}},
        {"hex:0a,", REG_BINARY, {0x0a}},
        {"hex(0):", REG_NONE, {}},
        {"hex(1):41,00,00,00", REG_SZ, {0x41, 0, 0, 0}},
        {"hex(2):25,00,00,00", REG_EXPAND_SZ, {0x25, 0, 0, 0}},
        {"hex(3):7f", REG_BINARY, {0x7f}},
        {"hex(4):01,02,03", REG_DWORD, {1, 2, 3}},
        {"hex(7):61,00,00,00,00,00", REG_MULTI_SZ, {0x61, 0, 0, 0, 0, 0}},
        {"hex(b):01,00,00,00,00,00,00,80", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0x80}},
        {"HEX(B):02", REG_QWORD, {2}},
        {"hex(ffffffff):00", 0xffffffffu, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RegOperation op = valueOf(std::string("\"n\"=") + c.text);
        EXPECT_EQ(c.type, op.type);
        EXPECT_EQ(c.bytes, op.data);
    }
}

TEST(RegParse, BadHexListsAreRefused)
{
    const char* texts[] = {
        "hex:1,,2", "hex:123", "hex:0g", "hex:01 02", "hex(2:00", "hex():00", "hex(123456789):00", "hex(x):00",
        "hex(2)00", "hex;00", "hex:,01",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(4, refusedAt(kHeader + "[HKCU\\K]\n\"n\"=" + text + "\n"));
    }
}

TEST(RegParse, HexListsContinueOverLines)
{
    auto operations = parsed(kHeader +
                             "[HKCU\\K]\n"
                             "\"long\"=hex:00,01,02,\\\n"
                             "  03,04,\\\r\n"
                             "\t05\n"
                             "\"next\"=hex:\\\n"
                             "  ff\n"
                             "\"after\"=dword:00000001\n");
    ASSERT_EQ(4u, operations.size());
    EXPECT_EQ((std::vector<BYTE>{0, 1, 2, 3, 4, 5}), operations[1].data);
    EXPECT_EQ(4, operations[1].line);
    EXPECT_EQ((std::vector<BYTE>{0xff}), operations[2].data);
    EXPECT_EQ(7, operations[2].line);
    EXPECT_EQ(u"after", operations[3].valueName);
    EXPECT_EQ(9, operations[3].line);
}

TEST(RegParse, FaultInAContinuationLineNamesThatLine)
{
    EXPECT_EQ(6, refusedAt(kHeader + "[HKCU\\K]\n\"n\"=hex:00,\\\n  01,\\\n  zz\n"));
    EXPECT_EQ(5, refusedAt(kHeader + "[HKCU\\K]\n\"n\"=hex:00,\\\n\n\"m\"=dword:1\n"));
    EXPECT_EQ(4, refusedAt(kHeader + "[HKCU\\K]\n\"n\"=hex:00,\\"));
}

TEST(RegParse, StringTypesOfRegedit4AreConvertedToUtf16)
{
    const std::string file = "REGEDIT4\n\n[HKCU\\K]\n"
                             "\"e\"=hex(2):25,54,4d,50,25,00\n"
                             "\"m\"=hex(7):61,00,c3,a9,00,00\n"
                             "\"b\"=hex:c3,a9\n"
                             "\"s\"=\"\xC3\xA9\"\n";
    auto operations = parsed(file);
    ASSERT_EQ(5u, operations.size());
    EXPECT_EQ(REG_EXPAND_SZ, operations[1].type);
    EXPECT_EQ(utf16z(u"%TMP%"), operations[1].data);
    EXPECT_EQ(REG_MULTI_SZ, operations[2].type);
    EXPECT_EQ((std::vector<BYTE>{'a', 0, 0, 0, 0xe9, 0, 0, 0, 0, 0}), operations[2].data);
    EXPECT_EQ((std::vector<BYTE>{0xc3, 0xa9}), operations[3].data);  // binary stays as it is
    EXPECT_EQ(utf16z(u"é"), operations[4].data);

    EXPECT_EQ(3, refusedAt("REGEDIT4\n[HKCU\\K]\n\"e\"=hex(2):ff,00\n"));
}

TEST(RegParse, ValueDeletion)
{
    RegOperation op = valueOf("\"Gone\"=-");
    EXPECT_EQ(Kind::DeleteValue, op.kind);
    EXPECT_EQ(u"Gone", op.valueName);
    EXPECT_EQ(Kind::DeleteValue, valueOf("@=-").kind);
}

TEST(RegParse, CommentsBlankLinesAndIndentationAreSkipped)
{
    auto operations = parsed(kHeader +
                             "; a comment\n"
                             "   ; an indented comment\n"
                             "\n"
                             "  \t\n"
                             "  [HKCU\\K]  \n"
                             "    \"a\"=dword:00000001\n");
    ASSERT_EQ(2u, operations.size());
    EXPECT_EQ(7, operations[0].line);
    EXPECT_EQ(8, operations[1].line);
}

TEST(RegParse, ValuesNeedAKey)
{
    EXPECT_EQ(3, refusedAt(kHeader + "\"a\"=\"b\"\n"));
    EXPECT_EQ(5, refusedAt(kHeader + "[HKCU\\K]\n[-HKCU\\K]\n\"a\"=\"b\"\n"));
    EXPECT_EQ(3, refusedAt(kHeader + "not a line\n"));
}

TEST(RegParse, OnlyTheFaultyFileIsRefusedWhateverPrecedesTheFault)
{
    std::string file = kHeader + "[HKCU\\A]\n\"a\"=dword:00000001\n[-HKCU\\B]\n";
    EXPECT_EQ(3u, parsed(file).size());
    auto result = parseRegFile(file + "\"broken\"=hex:zz\n");
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(6, result.error->line);
    EXPECT_FALSE(result.error->message.empty());
    EXPECT_TRUE(result.operations.empty());
}

// The same file in the three encodings gives the same operations.
TEST(RegParse, Utf8WithBomAndUtf16LeWithBom)
{
    const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Sound\u00e9]\r\n"
                                u"\"T\u00f6ne\"=\"\\\\Windows\\\\\U0001F514.wav\"\r\n\"n\"=dword:0000002a\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : text) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    const std::string utf8 =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Sound\xC3\xA9]\r\n"
        "\"T\xC3\xB6ne\"=\"\\\\Windows\\\\\xF0\x9F\x94\x94.wav\"\r\n\"n\"=dword:0000002a\r\n";

    auto plain = parsed(utf8);
    ASSERT_EQ(3u, plain.size());
    EXPECT_EQ(u"Sound\u00e9", plain[0].key.subKey);
    EXPECT_EQ(u"T\u00f6ne", plain[1].valueName);
    EXPECT_EQ(utf16z(u"\\Windows\\\U0001F514.wav"), plain[1].data);
    EXPECT_EQ(plain, parsed("\xEF\xBB\xBF" + utf8));
    EXPECT_EQ(plain, parsed(utf16));
}

TEST(RegParse, BrokenEncodingsAreRefused)
{
    // Big-endian UTF-16.
    EXPECT_EQ(1, refusedAt(std::string("\xFE\xFF\0R", 4)));

    // An unpaired surrogate on the third line of a UTF-16LE file.
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : std::u16string(u"REGEDIT4\n[HKCU\\K]\n\"a\"=\"") + char16_t(0xD800) + u"\"\n") {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(3, refusedAt(utf16));
    EXPECT_EQ(1, refusedAt(std::string("\xFF\xFER\0E\0G", 7)));  // an odd number of bytes

    // Not UTF-8, and a NUL, on line 4.
    EXPECT_EQ(4, refusedAt(kHeader + "[HKCU\\K]\n\"a\"=\"\xC3\x28\"\n"));
    EXPECT_EQ(4, refusedAt(kHeader + "[HKCU\\K]\n" + std::string("\"a\"=\"\0\"\n", 8)));
    EXPECT_EQ(3, refusedAt(kHeader + "[HKCU\\\xC0\xAF]\n"));  // overlong '/'
}

}  // namespace
