// Reading the provisioning document with Qt's XML stream reader.
#include "package_document.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <new>

#include <handset/wstring.h>

namespace installer {

namespace {

constexpr char16_t kInstallDirMacro[] = u"%InstallDir%";

// Thrown only inside this file, to unwind to the one place that turns it
// into a result.
struct Refusal {
    int line;
    std::string message;
};

std::u16string toU16(const QStringView text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
}

std::string inQuotes(const std::u16string& text)
{
    return "\"" + handset::toUtf8(text) + "\"";
}

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b)
{
    return handset::foldCase(a) == handset::foldCase(b);
}

// Replaces every %InstallDir% (in any case) by the installation folder.
std::u16string expand(std::u16string text, const std::u16string& installDir)
{
    const std::u16string macro = handset::foldCase(kInstallDirMacro);
    for (std::size_t at = 0;;) {
        const std::u16string folded = handset::foldCase(text);
        at = folded.find(macro, at);
        if (at == std::u16string::npos)
            return text;
        text.replace(at, macro.size(), installDir);
        at += installDir.size();
    }
}

bool isAbsoluteDevicePath(const std::u16string& path)
{
    if (path.empty() || path[0] != u'\\')
        return false;
    // Every component is a name: no "..", nothing empty after the root.
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find(u'\\', start);
        if (end == std::u16string::npos)
            end = path.size();
        const std::u16string_view part(path.data() + start, end - start);
        if (part == u".." || part == u"." || (part.empty() && end != path.size()) ||
            part.find_first_of(u"/\0", 0, 2) != std::u16string_view::npos)
            return false;
        start = end + 1;
    }
    return path.size() == 1 || path.back() != u'\\';
}

bool isFileName(const std::u16string& name)
{
    return !name.empty() && name != u"." && name != u".." &&
           name.find_first_of(u"\\/:*?\"<>|\0", 0, 10) == std::u16string::npos;
}

// A path inside the package folder: relative, '/' or '\' between names, no "..".
std::optional<std::string> packageSource(const std::u16string& source)
{
    if (source.empty() || source[0] == u'/' || source[0] == u'\\')
        return std::nullopt;
    std::string path;
    std::size_t start = 0;
    while (start <= source.size()) {
        std::size_t end = source.find_first_of(u"/\\", start);
        if (end == std::u16string::npos)
            end = source.size();
        const std::u16string part = source.substr(start, end - start);
        if (!isFileName(part))
            return std::nullopt;
        path += (path.empty() ? "" : "/") + handset::toUtf8(part);
        start = end + 1;
    }
    return path;
}

class Reader {
public:
    explicit Reader(const QByteArray& bytes) : xml_(bytes) {}

    PackageDocument read()
    {
        nextElement();
        if (xml_.name() != u"wap-provisioningdoc")
            refuse("the document is not a provisioning document (wap-provisioningdoc)");
        // The Install characteristic names the folder the others refer to,
        // so it is read first wherever it stands.
        bool sawInstall = false;
        while (nextChild()) {
            const std::u16string type = characteristicType();
            if (type == u"Install") {
                if (sawInstall)
                    refuse("a second Install characteristic");
                sawInstall = true;
                readInstall();
            } else if (!sawInstall) {
                refuse("the Install characteristic must come first");
            } else if (type == u"FileOperation") {
                readFileOperation();
            } else if (type == u"Registry") {
                readRegistry();
            } else {
                refuse("unknown characteristic " + inQuotes(type));
            }
        }
        if (!sawInstall)
            refuse("no Install characteristic");
        finish();
        return std::move(document_);
    }

private:
    [[noreturn]] void refuse(const std::string& message)
    {
        throw Refusal{static_cast<int>(xml_.lineNumber()), message};
    }

    void checkReader()
    {
        if (xml_.hasError())
            refuse("not well-formed XML: " + xml_.errorString().toStdString());
    }

    // Moves to the next start element, refusing anything but white space,
    // comments and the XML declaration on the way.
    void nextElement()
    {
        while (!xml_.atEnd()) {
            const QXmlStreamReader::TokenType token = xml_.readNext();
            checkReader();
            switch (token) {
            case QXmlStreamReader::StartElement: return;
            case QXmlStreamReader::DTD: refuse("a document type declaration is not accepted");
            case QXmlStreamReader::EntityReference: refuse("entity references are not accepted");
            case QXmlStreamReader::Characters:
                if (!xml_.isWhitespace())
                    refuse("text outside an element");
                break;
            default: break;
            }
        }
        checkReader();
        refuse("the document is empty");
    }

    // Inside an element: true at the start of its next child element, false
    // at its end.
    bool nextChild()
    {
        for (;;) {
            const QXmlStreamReader::TokenType token = xml_.readNext();
            checkReader();
            switch (token) {
            case QXmlStreamReader::StartElement: return true;
            case QXmlStreamReader::EndElement: return false;
            case QXmlStreamReader::Characters:
                if (!xml_.isWhitespace())
                    refuse("text inside an element");
                break;
            case QXmlStreamReader::EntityReference: refuse("entity references are not accepted");
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::ProcessingInstruction: break;
            default: refuse("unexpected content");
            }
        }
    }

    std::u16string attribute(const char16_t* name, bool required = true)
    {
        const QXmlStreamAttributes attributes = xml_.attributes();
        const QString key = QString::fromUtf16(name);
        if (!attributes.hasAttribute(key)) {
            if (required)
                refuse("<" + xml_.name().toString().toStdString() + "> needs the attribute " +
                       handset::toUtf8(name));
            return {};
        }
        return toU16(attributes.value(key));
    }

    std::u16string characteristicType()
    {
        if (xml_.name() != u"characteristic")
            refuse("expected <characteristic>, found <" + xml_.name().toString().toStdString() + ">");
        return attribute(u"type");
    }

    struct Parm {
        std::u16string name, value, datatype;
    };

    Parm parm()
    {
        if (xml_.name() != u"parm")
            refuse("expected <parm>, found <" + xml_.name().toString().toStdString() + ">");
        Parm p{attribute(u"name"), attribute(u"value"), attribute(u"datatype", false)};
        if (nextChild())
            refuse("<parm> has no content");
        return p;
    }

    void readInstall()
    {
        while (nextChild()) {
            const Parm p = parm();
            if (p.name == u"AppName") {
                if (!isFileName(p.value))
                    refuse("AppName " + inQuotes(p.value) + " is not a name");
                document_.appName = p.value;
            } else if (p.name == u"InstallDir") {
                if (!isAbsoluteDevicePath(p.value) || p.value == u"\\")
                    refuse("InstallDir " + inQuotes(p.value) + " is not a folder of the device");
                document_.installDir = p.value;
            } else if (p.name == u"SetupDll") {
                const std::optional<std::string> source = packageSource(p.value);
                if (!source)
                    refuse("SetupDll " + inQuotes(p.value) + " is not a file of the package");
                document_.setupLibrary = *source;
            } else {
                refuse("unknown Install parameter " + inQuotes(p.name));
            }
        }
        if (document_.appName.empty())
            refuse("the Install characteristic names no AppName");
        if (document_.installDir.empty())
            refuse("the Install characteristic names no InstallDir");
    }

    void readFileOperation()
    {
        while (nextChild()) {
            PackageFolder folder;
            folder.path = expand(characteristicType(), document_.installDir);
            if (!isAbsoluteDevicePath(folder.path))
                refuse(inQuotes(folder.path) + " is not a folder of the device");
            while (nextChild()) {
                const std::u16string type = characteristicType();
                if (type == u"MakeDir") {
                    // Every folder of the package is made when it is missing.
                    if (nextChild())
                        refuse("MakeDir has no content");
                    continue;
                }
                if (!isFileName(type))
                    refuse(inQuotes(type) + " is not a file name");
                PackageFile file{type, {}};
                while (nextChild()) {
                    if (characteristicType() != u"Extract")
                        refuse("a file holds one Extract characteristic");
                    while (nextChild()) {
                        const Parm p = parm();
                        if (p.name != u"Source")
                            refuse("unknown Extract parameter " + inQuotes(p.name));
                        const std::optional<std::string> source = packageSource(p.value);
                        if (!source)
                            refuse("Source " + inQuotes(p.value) + " is not a file of the package");
                        file.source = *source;
                    }
                }
                if (file.source.empty())
                    refuse("the file " + inQuotes(type) + " names no Source");
                for (const PackageFolder& other : document_.folders)
                    for (const PackageFile& f : other.files)
                        if (equalsIgnoringCase(other.path, folder.path) && equalsIgnoringCase(f.name, file.name))
                            refuse("the file " + inQuotes(type) + " is listed twice");
                for (const PackageFile& f : folder.files)
                    if (equalsIgnoringCase(f.name, file.name))
                        refuse("the file " + inQuotes(type) + " is listed twice");
                folder.files.push_back(std::move(file));
            }
            document_.folders.push_back(std::move(folder));
        }
    }

    static std::vector<BYTE> bytesOf(const std::u16string& text)
    {
        std::vector<BYTE> data((text.size() + 1) * sizeof(char16_t), 0);
        std::memcpy(data.data(), text.data(), text.size() * sizeof(char16_t));
        return data;
    }

    PackageValue value(const Parm& p)
    {
        PackageValue v;
        v.name = p.name;
        if (p.datatype == u"string" || p.datatype.empty()) {
            v.type = REG_SZ;
            v.data = bytesOf(expand(p.value, document_.installDir));
        } else if (p.datatype == u"integer") {
            const std::string text = handset::toUtf8(p.value);
            std::uint64_t number = 0;
            const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
            if (text.empty() || text.size() > 10)
                refuse("the integer " + inQuotes(p.value) + " does not fit a DWORD");
            for (std::size_t i = hex ? 2 : 0; i < text.size(); ++i) {
                const char c = text[i];
                int digit = -1;
                if (c >= '0' && c <= '9')
                    digit = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    digit = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    digit = c - 'A' + 10;
                if (digit < 0)
                    refuse(inQuotes(p.value) + " is not an integer");
                number = number * (hex ? 16 : 10) + static_cast<unsigned>(digit);
            }
            if (number > 0xFFFFFFFFu)
                refuse("the integer " + inQuotes(p.value) + " does not fit a DWORD");
            const DWORD dword = static_cast<DWORD>(number);
            v.type = REG_DWORD;
            v.data.resize(4);
            std::memcpy(v.data.data(), &dword, 4);
        } else if (p.datatype == u"binary") {
            const std::string text = handset::toUtf8(p.value);
            if (text.size() % 2 != 0)
                refuse("binary data " + inQuotes(p.value) + " is not whole bytes in hexadecimal");
            v.type = REG_BINARY;
            for (std::size_t i = 0; i < text.size(); i += 2) {
                const QByteArray pair = QByteArray::fromRawData(text.data() + i, 2);
                bool ok = false;
                const int byte = pair.toInt(&ok, 16);
                if (!ok || !std::isxdigit(static_cast<unsigned char>(text[i])) ||
                    !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
                    refuse("binary data " + inQuotes(p.value) + " is not whole bytes in hexadecimal");
                v.data.push_back(static_cast<BYTE>(byte));
            }
        } else {
            refuse("unknown datatype " + inQuotes(p.datatype));
        }
        return v;
    }

    void readRegistry()
    {
        while (nextChild()) {
            const std::u16string path = characteristicType();
            const std::optional<handset::RegKeyPath> key = handset::parseRegKeyPath(handset::toUtf8(path));
            if (!key || key->subKey.empty())
                refuse(inQuotes(path) + " is not a registry key below a root");
            PackageKey entry{*key, {}};
            while (nextChild()) {
                PackageValue v = value(parm());
                for (const PackageValue& other : entry.values)
                    if (equalsIgnoringCase(other.name, v.name))
                        refuse("the value " + inQuotes(v.name) + " is listed twice");
                entry.values.push_back(std::move(v));
            }
            document_.keys.push_back(std::move(entry));
        }
    }

    void finish()
    {
        // Nothing but white space and comments may follow the document.
        while (!xml_.atEnd()) {
            const QXmlStreamReader::TokenType token = xml_.readNext();
            if (token == QXmlStreamReader::Invalid && xml_.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                break;
            checkReader();
            if (token == QXmlStreamReader::StartElement)
                refuse("a second document element");
        }
    }

    QXmlStreamReader xml_;
    PackageDocument document_;
};

}  // namespace

PackageParseResult parsePackageDocument(std::string_view bytes)
{
    PackageParseResult result;
    try {
        const QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
        Reader reader(data);
        result.document = reader.read();
    } catch (const Refusal& refusal) {
        result.line = refusal.line;
        result.error = refusal.message;
    } catch (const std::bad_alloc&) {
        result.error = "the document does not fit in memory";
    } catch (...) {
        result.error = "the document cannot be read";
    }
    return result;
}

}  // namespace installer
