// Reading provisioning documents: what a good one yields, and the reasons
// a hostile or broken one is refused.
#include "package_document.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <handset/wstring.h>

namespace {

using installer::parsePackageDocument;

std::string document(const std::string& body,
                     const std::string& install = "<parm name=\"AppName\" value=\"Test\"/>"
                                                  "<parm name=\"InstallDir\" value=\"\\Program Files\\Test\"/>")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<wap-provisioningdoc>\n"
           "<characteristic type=\"Install\">" + install + "</characteristic>\n" + body + "\n</wap-provisioningdoc>\n";
}

TEST(PackageDocumentTest, AGoodDocumentGivesItsFoldersFilesAndValues)
{
    const std::string text = document(
        "<characteristic type=\"FileOperation\">"
        "  <characteristic type=\"%INSTALLDIR%\"><characteristic type=\"MakeDir\"/>"
        "    <characteristic type=\"App.exe\"><characteristic type=\"Extract\">"
        "      <parm name=\"Source\" value=\"bin/app\"/></characteristic></characteristic>"
        "  </characteristic>"
        "</characteristic>"
        "<!-- registry -->"
        "<characteristic type=\"Registry\">"
        "  <characteristic type=\"HKLM\\Software\\Test\">"
        "    <parm name=\"\" value=\"%InstallDir%\\App.exe\" datatype=\"string\"/>"
        "    <parm name=\"Count\" value=\"0xFFFFFFFF\" datatype=\"integer\"/>"
        "    <parm name=\"Small\" value=\"7\" datatype=\"integer\"/>"
        "    <parm name=\"Blob\" value=\"00ff10\" datatype=\"binary\"/>"
        "  </characteristic>"
        "</characteristic>",
        "<parm name=\"AppName\" value=\"Test\"/><parm name=\"InstallDir\" value=\"\\Program Files\\Test\"/>"
        "<parm name=\"SetupDll\" value=\"setup.dll\"/>");
    const installer::PackageParseResult result = parsePackageDocument(text);
    ASSERT_TRUE(result.ok()) << result.line << ": " << result.error;
    const installer::PackageDocument& doc = *result.document;
    EXPECT_EQ(u"Test", doc.appName);
    EXPECT_EQ(u"\\Program Files\\Test", doc.installDir);
    EXPECT_EQ("setup.dll", doc.setupLibrary);
    ASSERT_EQ(1u, doc.folders.size());
    EXPECT_EQ(u"\\Program Files\\Test", doc.folders[0].path);
    ASSERT_EQ(1u, doc.folders[0].files.size());
    EXPECT_EQ(u"App.exe", doc.folders[0].files[0].name);
    EXPECT_EQ("bin/app", doc.folders[0].files[0].source);

    ASSERT_EQ(1u, doc.keys.size());
    EXPECT_EQ(HKEY_LOCAL_MACHINE, doc.keys[0].key.root);
    EXPECT_EQ(u"Software\\Test", doc.keys[0].key.subKey);
    const auto& values = doc.keys[0].values;
    ASSERT_EQ(4u, values.size());
    EXPECT_EQ(u"", values[0].name);
    EXPECT_EQ(REG_SZ, values[0].type);
    const std::u16string path = u"\\Program Files\\Test\\App.exe";
    ASSERT_EQ((path.size() + 1) * 2, values[0].data.size());
    EXPECT_EQ(0, std::memcmp(path.c_str(), values[0].data.data(), values[0].data.size()));
    EXPECT_EQ(REG_DWORD, values[1].type);
    EXPECT_EQ((std::vector<BYTE>{0xff, 0xff, 0xff, 0xff}), values[1].data);
    EXPECT_EQ((std::vector<BYTE>{7, 0, 0, 0}), values[2].data);
    EXPECT_EQ(REG_BINARY, values[3].type);
    EXPECT_EQ((std::vector<BYTE>{0x00, 0xff, 0x10}), values[3].data);
}

TEST(PackageDocumentTest, BrokenAndHostileDocumentsAreRefusedWithTheirLine)
{
    const auto file = [](const std::string& name, const std::string& source) {
        return "<characteristic type=\"FileOperation\"><characteristic type=\"%InstallDir%\">"
               "<characteristic type=\"" + name + "\"><characteristic type=\"Extract\">"
               "<parm name=\"Source\" value=\"" + source + "\"/></characteristic></characteristic>"
               "</characteristic></characteristic>";
    };
    const auto value = [](const std::string& parm) {
        return "<characteristic type=\"Registry\"><characteristic type=\"HKCU\\Software\\T\">" + parm +
               "</characteristic></characteristic>";
    };
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"not XML", "hello"},
        {"not well formed", "<wap-provisioningdoc><characteristic type=\"Install\">"},
        {"another root", "<provisioning/>"},
        {"a document type", "<!DOCTYPE wap-provisioningdoc [<!ENTITY x \"y\">]>\n<wap-provisioningdoc/>"},
        {"no Install", "<wap-provisioningdoc></wap-provisioningdoc>"},
        {"relative InstallDir", document("", "<parm name=\"AppName\" value=\"T\"/><parm name=\"InstallDir\" value=\"T\"/>")},
        {"InstallDir with ..", document("", "<parm name=\"AppName\" value=\"T\"/><parm name=\"InstallDir\" value=\"\\A\\..\\..\"/>")},
        {"AppName with a folder", document("", "<parm name=\"AppName\" value=\"A\\B\"/><parm name=\"InstallDir\" value=\"\\T\"/>")},
        {"unknown characteristic", document("<characteristic type=\"Shortcuts\"/>")},
        {"source leaving the package", document(file("a.exe", "../../etc/passwd"))},
        {"absolute source", document(file("a.exe", "/etc/passwd"))},
        {"file name with a folder", document(file("..\\a.exe", "a"))},
        {"file listed twice", document(file("a.exe", "a") + file("A.EXE", "b"))},
        {"folder outside the device", document("<characteristic type=\"FileOperation\"><characteristic type=\"..\\x\"/>"
                                               "</characteristic>")},
        {"key without a root", document("<characteristic type=\"Registry\"><characteristic type=\"Software\\T\"/>"
                                        "</characteristic>")},
        {"a root itself", document("<characteristic type=\"Registry\"><characteristic type=\"HKCU\"/></characteristic>")},
        {"integer too large", document(value("<parm name=\"n\" value=\"4294967296\" datatype=\"integer\"/>"))},
        {"integer not a number", document(value("<parm name=\"n\" value=\"12a\" datatype=\"integer\"/>"))},
        {"odd binary", document(value("<parm name=\"n\" value=\"abc\" datatype=\"binary\"/>"))},
        {"unknown datatype", document(value("<parm name=\"n\" value=\"1\" datatype=\"float\"/>"))},
        {"value twice", document(value("<parm name=\"n\" value=\"1\"/><parm name=\"N\" value=\"2\"/>"))},
        {"text in an element", document("<characteristic type=\"Registry\">words</characteristic>")},
        {"a second document element", document("") + "<wap-provisioningdoc/>"},
    };
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        const installer::PackageParseResult result = parsePackageDocument(text);
        EXPECT_FALSE(result.ok());
        EXPECT_FALSE(result.error.empty());
    }
    const installer::PackageParseResult refused = parsePackageDocument(document(file("a.exe", "../x")));
    EXPECT_EQ(4, refused.line);
    EXPECT_NE(std::string::npos, refused.error.find("\"../x\" is not a file of the package")) << refused.error;
}

}  // namespace
