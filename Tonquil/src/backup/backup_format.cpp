#include "backup_format.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <set>

#include <handset/pimstore.h>
#include <handset/registry.h>
#include <handset/wstring.h>

namespace tonquil::backup {
namespace {

QString qs(const std::u16string& text)
{
    return QString::fromStdU16String(text);
}

std::u16string us(const QString& text)
{
    return text.toStdU16String();
}

// A REG_SZ that reads back as written: whole UTF-16 units, one terminator
// at the end and none before it.
bool isPlainText(const handset::RegValue& value)
{
    if ((value.type != REG_SZ && value.type != REG_EXPAND_SZ) || value.data.size() < 2 || value.data.size() % 2)
        return false;
    const std::size_t units = value.data.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const bool zero = value.data[2 * i] == 0 && value.data[2 * i + 1] == 0;
        if (zero != (i + 1 == units))
            return false;
    }
    return true;
}

std::u16string textOf(const std::vector<BYTE>& data)
{
    std::u16string text(data.size() / 2 - 1, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    return text;
}

std::vector<BYTE> bytesOf(const std::u16string& text)
{
    std::vector<BYTE> data;
    data.reserve((text.size() + 1) * 2);
    for (char16_t unit : text) {
        data.push_back(static_cast<BYTE>(unit & 0xFF));
        data.push_back(static_cast<BYTE>(unit >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

QJsonObject valueObject(const handset::RegValue& value)
{
    QJsonObject object{{"name", qs(value.name)}, {"type", static_cast<qint64>(value.type)}};
    if (isPlainText(value)) {
        object.insert("text", qs(textOf(value.data)));
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        const std::uint32_t number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                                     static_cast<std::uint32_t>(value.data[3]) << 24;
        object.insert("number", static_cast<qint64>(number));
    } else {
        const QByteArray raw(reinterpret_cast<const char*>(value.data.data()), static_cast<qsizetype>(value.data.size()));
        object.insert("bytes", QString::fromLatin1(raw.toBase64()));
    }
    return object;
}

void putOptional(QJsonObject& object, const char* name, const std::optional<std::u16string>& text)
{
    if (text)
        object.insert(name, qs(*text));
}

// The checks of one document, failing at the first fault with a sentence
// that names where it is.
class Reader {
public:
    std::optional<Manifest> read(std::string_view json)
    {
        QJsonParseError parseError{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())), &parseError);
        if (parseError.error != QJsonParseError::NoError || !document.isObject())
            return fail("its manifest is not a JSON document (" + parseError.errorString().toStdString() + ")");
        const QJsonObject root = document.object();
        if (root.value("format").toString() != QLatin1String(kFormatName))
            return fail("it is not a Tonquil settings backup");
        const QJsonValue version = root.value("version");
        if (!version.isDouble() || version.toDouble() != static_cast<double>(version.toInteger()) ||
            version.toInteger() < 1)
            return fail("its format version is not a positive whole number");
        if (version.toInteger() > kFormatVersion)
            return fail("it was made by a newer Tonquil (format version " + std::to_string(version.toInteger()) +
                        "; this one reads version " + std::to_string(kFormatVersion) + " and older)");

        Manifest manifest;
        if (root.contains("created") && !root.value("created").isString())
            return fail("its \"created\" is not a text");
        manifest.created = root.value("created").toString().toStdString();
        if (!readRegistry(root.value("registry"), manifest) || !readContacts(root.value("contacts"), manifest) ||
            !readToneFiles(root.value("toneFiles"), manifest))
            return std::nullopt;
        return manifest;
    }

    std::string error;

private:
    std::nullopt_t fail(std::string why)
    {
        if (error.empty())
            error = std::move(why);
        return std::nullopt;
    }

    bool failed(std::string why)
    {
        fail(std::move(why));
        return false;
    }

    bool readRegistry(const QJsonValue& value, Manifest& manifest)
    {
        if (!value.isObject())
            return failed("its registry part is missing or not an object");
        const QJsonObject registry = value.toObject();
        if (!registry.value("root").isString())
            return failed("its registry root is missing or not a text");
        if (registry.value("root").toString().compare(QLatin1String(kProductKeyName), Qt::CaseInsensitive) != 0)
            return failed("it holds registry keys outside Tonquil's own key (" +
                          registry.value("root").toString().toStdString() + ")");
        if (!registry.value("keys").isArray())
            return failed("its registry keys are not a list");
        const QJsonArray keys = registry.value("keys").toArray();
        if (static_cast<std::size_t>(keys.size()) > kMaxKeys)
            return failed("it holds more than " + std::to_string(kMaxKeys) + " registry keys");
        std::size_t valueCount = 0;
        std::set<std::u16string> seen;
        for (qsizetype k = 0; k < keys.size(); ++k) {
            const std::string where = "registry key " + std::to_string(k + 1);
            if (!keys[k].isObject() || !keys[k].toObject().value("path").isString() ||
                !keys[k].toObject().value("values").isArray())
                return failed(where + " is not an object with a \"path\" text and a \"values\" list");
            const QJsonObject key = keys[k].toObject();
            RegistryKey entry;
            entry.path = us(key.value("path").toString());
            if (!safeKeyPath(entry.path))
                return failed(where + " (\"" + key.value("path").toString().toStdString() +
                              "\") is outside Tonquil's own key or not a key name");
            const std::u16string folded = handset::foldCase(entry.path);
            if (!seen.insert(folded).second)
                return failed(where + " appears twice");
            const QJsonArray values = key.value("values").toArray();
            valueCount += static_cast<std::size_t>(values.size());
            if (valueCount > kMaxValues)
                return failed("it holds more than " + std::to_string(kMaxValues) + " registry values");
            std::set<std::u16string> names;
            for (qsizetype v = 0; v < values.size(); ++v) {
                handset::RegValue regValue;
                if (!readValue(values[v], regValue, where + ", value " + std::to_string(v + 1)))
                    return false;
                if (!names.insert(handset::foldCase(regValue.name)).second)
                    return failed(where + " names the value \"" + QString::fromStdU16String(regValue.name).toStdString() +
                                  "\" twice");
                entry.values.push_back(std::move(regValue));
            }
            manifest.registry.push_back(std::move(entry));
        }
        return true;
    }

    static bool safeKeyPath(const std::u16string& path)
    {
        if (path.empty())
            return true;
        std::size_t start = 0;
        while (true) {
            const std::size_t end = std::min(path.find(u'\\', start), path.size());
            const std::u16string_view part(path.data() + start, end - start);
            if (part.empty() || part == u"." || part == u".." || part.size() > MAX_KEY_NAME)
                return false;
            for (char16_t c : part)
                if (c < 0x20 || c == u'/')
                    return false;
            if (end == path.size())
                return true;
            start = end + 1;
        }
    }

    bool readValue(const QJsonValue& json, handset::RegValue& value, const std::string& where)
    {
        if (!json.isObject())
            return failed(where + " is not an object");
        const QJsonObject object = json.toObject();
        const QJsonValue type = object.value("type");
        if (!object.value("name").isString() || !type.isDouble() || type.toDouble() < 0 ||
            type.toDouble() > 0xFFFFFFFF || type.toDouble() != static_cast<double>(type.toInteger()))
            return failed(where + " has no \"name\" text or no \"type\" number");
        value.name = us(object.value("name").toString());
        if (value.name.size() > MAX_VALUE_NAME)
            return failed(where + " has a name longer than the registry allows");
        value.type = static_cast<DWORD>(type.toInteger());
        const int forms = object.contains("text") + object.contains("number") + object.contains("bytes");
        if (forms != 1)
            return failed(where + " needs exactly one of \"text\", \"number\" and \"bytes\"");
        if (object.contains("text")) {
            if (!object.value("text").isString() || (value.type != REG_SZ && value.type != REG_EXPAND_SZ))
                return failed(where + ": \"text\" must be a text of a text value");
            const std::u16string text = us(object.value("text").toString());
            if (text.find(u'\0') != std::u16string::npos)
                return failed(where + ": its text holds a null character");
            value.data = bytesOf(text);
        } else if (object.contains("number")) {
            const QJsonValue number = object.value("number");
            if (value.type != REG_DWORD || !number.isDouble() || number.toDouble() < 0 ||
                number.toDouble() > 0xFFFFFFFF || number.toDouble() != static_cast<double>(number.toInteger()))
                return failed(where + ": \"number\" must be a whole number from 0 to 4294967295 of a number value");
            const auto n = static_cast<std::uint32_t>(number.toInteger());
            value.data = {static_cast<BYTE>(n), static_cast<BYTE>(n >> 8), static_cast<BYTE>(n >> 16),
                          static_cast<BYTE>(n >> 24)};
        } else {
            if (!object.value("bytes").isString())
                return failed(where + ": \"bytes\" must be a base64 text");
            const auto decoded = QByteArray::fromBase64Encoding(object.value("bytes").toString().toLatin1(),
                                                                QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                return failed(where + ": \"bytes\" is not base64");
            value.data.assign(decoded.decoded.begin(), decoded.decoded.end());
        }
        if (value.data.size() > kMaxValueBytes)
            return failed(where + " is larger than " + std::to_string(kMaxValueBytes) + " bytes");
        return true;
    }

    bool optionalText(const QJsonObject& object, const char* name, std::optional<std::u16string>& out,
                      const std::string& where, bool path)
    {
        if (!object.contains(name))
            return true;
        if (!object.value(name).isString())
            return failed(where + ": \"" + name + "\" is not a text");
        out = us(object.value(name).toString());
        if (path && !out->empty() && (out->size() > kMaxPathChars || !safeDevicePath(*out)))
            return failed(where + ": \"" + name + "\" is not a device path of at most " +
                          std::to_string(kMaxPathChars) + " characters");
        return true;
    }

    bool requiredText(const QJsonObject& object, const char* name, std::u16string& out, const std::string& where)
    {
        if (!object.contains(name))
            return true;
        if (!object.value(name).isString())
            return failed(where + ": \"" + name + "\" is not a text");
        out = us(object.value(name).toString());
        return true;
    }

    bool readContacts(const QJsonValue& value, Manifest& manifest)
    {
        if (!value.isArray())
            return failed("its contacts are missing or not a list");
        const QJsonArray contacts = value.toArray();
        if (static_cast<std::size_t>(contacts.size()) > kMaxContacts)
            return failed("it holds more than " + std::to_string(kMaxContacts) + " contacts");
        manifest.contacts.reserve(static_cast<std::size_t>(contacts.size()));
        for (qsizetype c = 0; c < contacts.size(); ++c) {
            const std::string where = "contact " + std::to_string(c + 1);
            if (!contacts[c].isObject())
                return failed(where + " is not an object");
            const QJsonObject object = contacts[c].toObject();
            ContactSettings contact;
            if (!requiredText(object, "firstName", contact.firstName, where) ||
                !requiredText(object, "lastName", contact.lastName, where) ||
                !requiredText(object, "company", contact.company, where) ||
                !optionalText(object, "ringTone", contact.ringTone, where, true) ||
                !optionalText(object, "smsTone", contact.smsTone, where, true) ||
                !optionalText(object, "categories", contact.categories, where, false))
                return false;
            if (object.contains("numbers")) {
                if (!object.value("numbers").isArray())
                    return failed(where + ": \"numbers\" is not a list");
                for (const QJsonValue& number : object.value("numbers").toArray()) {
                    const QString digits = number.toString();
                    if (!number.isString() || digits.isEmpty() || digits.size() > 64 ||
                        std::any_of(digits.begin(), digits.end(), [](QChar ch) { return ch < u'0' || ch > u'9'; }))
                        return failed(where + ": a number is not a text of digits");
                    contact.numbers.push_back(us(digits));
                }
                if (contact.numbers.size() > std::size(kContactPhoneProperties))
                    return failed(where + " has more numbers than a contact holds");
            }
            if (object.contains("priority")) {
                const QJsonValue priority = object.value("priority");
                if (!priority.isDouble() || priority.toDouble() < 0 || priority.toDouble() > 0xFFFF ||
                    priority.toDouble() != static_cast<double>(priority.toInteger()))
                    return failed(where + ": \"priority\" is not a whole number from 0 to 65535");
                contact.priority = static_cast<std::uint16_t>(priority.toInteger());
            }
            manifest.contacts.push_back(std::move(contact));
        }
        return true;
    }

    bool readToneFiles(const QJsonValue& value, Manifest& manifest)
    {
        if (!value.isArray())
            return failed("its list of tone files is missing or not a list");
        const QJsonArray files = value.toArray();
        if (static_cast<std::size_t>(files.size()) > kMaxMembers - 1)
            return failed("it holds more than " + std::to_string(kMaxMembers - 1) + " tone files");
        std::set<std::string> members;
        std::set<std::u16string> paths;
        std::uint64_t total = 0;
        for (qsizetype f = 0; f < files.size(); ++f) {
            const std::string where = "tone file " + std::to_string(f + 1);
            const QJsonObject object = files[f].toObject();
            const QJsonValue size = object.value("size");
            if (!files[f].isObject() || !object.value("path").isString() || !object.value("member").isString() ||
                !size.isDouble() || size.toDouble() < 0 || size.toDouble() != static_cast<double>(size.toInteger()))
                return failed(where + " is not an object with \"path\", \"member\" and \"size\"");
            ToneFile file{us(object.value("path").toString()), object.value("member").toString().toStdString(),
                          static_cast<std::uint64_t>(size.toInteger())};
            if (file.path.size() > kMaxPathChars || !safeDevicePath(file.path))
                return failed(where + " is not a device path of at most " + std::to_string(kMaxPathChars) +
                              " characters");
            if (!safeMemberName(file.member) || file.member == kManifestMember)
                return failed(where + " names the member \"" + file.member + "\", which a backup cannot hold");
            if (!members.insert(file.member).second || !paths.insert(handset::foldCase(file.path)).second)
                return failed(where + " appears twice");
            if (file.size > kMaxToneFileBytes)
                return failed(where + " is larger than " + std::to_string(kMaxToneFileBytes >> 20) + " MB");
            total += file.size;
            if (total > kMaxToneBytes)
                return failed("its tone files hold more than " + std::to_string(kMaxToneBytes >> 20) + " MB");
            manifest.toneFiles.push_back(std::move(file));
        }
        return true;
    }
};

}  // namespace

std::string writeManifest(const Manifest& manifest)
{
    QJsonArray keys;
    for (const RegistryKey& key : manifest.registry) {
        QJsonArray values;
        for (const handset::RegValue& value : key.values)
            values.append(valueObject(value));
        keys.append(QJsonObject{{"path", qs(key.path)}, {"values", values}});
    }
    QJsonArray contacts;
    for (const ContactSettings& contact : manifest.contacts) {
        QJsonObject object{{"firstName", qs(contact.firstName)},
                           {"lastName", qs(contact.lastName)},
                           {"company", qs(contact.company)}};
        QJsonArray numbers;
        for (const std::u16string& number : contact.numbers)
            numbers.append(qs(number));
        object.insert("numbers", numbers);
        putOptional(object, "ringTone", contact.ringTone);
        putOptional(object, "smsTone", contact.smsTone);
        if (contact.priority)
            object.insert("priority", static_cast<int>(*contact.priority));
        putOptional(object, "categories", contact.categories);
        contacts.append(object);
    }
    QJsonArray toneFiles;
    for (const ToneFile& file : manifest.toneFiles)
        toneFiles.append(QJsonObject{{"path", qs(file.path)},
                                     {"member", QString::fromStdString(file.member)},
                                     {"size", static_cast<qint64>(file.size)}});
    const QJsonObject root{{"format", kFormatName},
                           {"version", kFormatVersion},
                           {"created", QString::fromStdString(manifest.created)},
                           {"registry", QJsonObject{{"root", kProductKeyName}, {"keys", keys}}},
                           {"contacts", contacts},
                           {"toneFiles", toneFiles}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

ManifestResult parseManifest(std::string_view json)
{
    if (json.size() > kMaxManifestBytes)
        return {std::nullopt, "its manifest is larger than " + std::to_string(kMaxManifestBytes >> 20) + " MB"};
    Reader reader;
    std::optional<Manifest> manifest = reader.read(json);
    return {std::move(manifest), reader.error};
}

bool safeMemberName(std::string_view name)
{
    if (name.empty() || name.size() > 1024 || name.front() == '/')
        return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        for (char c : part)
            if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == ':')
                return false;
        if (end == name.size())
            return true;
        start = end + 1;
    }
}

bool safeDevicePath(std::u16string_view path)
{
    if (path.size() < 2 || path.front() != u'\\')
        return false;
    std::size_t start = 1;
    while (true) {
        const std::size_t end = std::min(path.find(u'\\', start), path.size());
        const std::u16string_view part = path.substr(start, end - start);
        if (part.empty() || part == u"." || part == u"..")
            return false;
        for (char16_t c : part)
            if (c < 0x20 || c == u'/' || c == u':')
                return false;
        if (end == path.size())
            return true;
        start = end + 1;
    }
}

}  // namespace tonquil::backup
