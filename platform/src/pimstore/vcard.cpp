// vCard files: 2.1 (folding that keeps the blank, bare parameters,
// quoted-printable with soft line breaks, base64 runs ended by a blank line),
// 3.0 (folding, TYPE lists, ENCODING=b) and 4.0 (quoted parameter values,
// data: and tel: URIs).

#include <handset/contacts_admin.h>

#include <iconv.h>
#include <sqlite3.h>

#include <algorithm>
#include <sstream>

#include <handset/host_file.h>
#include <handset/wstring.h>

#include "pimstore/admin_internal.h"
#include "pimstore/contact_data.h"
#include "pimstore/results.h"

namespace handset::contacts {

namespace {

enum class Version { V21, V30, V40 };

struct Line {
    std::string text;
    int number = 0;  // the file line it starts on
};

struct Param {
    std::string name;                 // upper case; TYPE for a bare 2.1 type
    std::vector<std::string> values;  // unquoted
};

struct Property {
    int line = 0;
    std::string name;  // upper case, without its group
    std::vector<Param> params;
    std::string value;  // raw, as it stands after the colon
};

// Thrown inside the parser only and caught by parseVCards: a malformed card
// ends the parse at once, wherever it is found.
struct Malformed {
    int line;
    std::string message;
};

[[noreturn]] void fail(int line, std::string message)
{
    throw Malformed{line, std::move(message)};
}

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (isBlank(text.front()) || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && upper(a) == upper(b);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// The file's lines without their line ends (LF or CRLF).
std::vector<Line> physicalLines(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::vector<Line> lines;
    int number = 1;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back({std::string(line), number++});
        start = end + 1;
    }
    return lines;
}

// Where the property's name and parameters end: the first colon outside a
// quoted parameter value.
std::size_t headerEnd(std::string_view line)
{
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i;
    }
    return std::string_view::npos;
}

bool headerMentions(std::string_view line, std::string_view word)
{
    const std::size_t end = headerEnd(line);
    const std::string header = upper(line.substr(0, end == std::string_view::npos ? line.size() : end));
    return header.find(word) != std::string::npos;
}

bool isBase64Run(std::string_view line)
{
    if (line.empty())
        return false;
    return std::all_of(line.begin(), line.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
               c == '/' || c == '=' || isBlank(c);
    });
}

// Joins folded lines, quoted-printable soft line breaks and 2.1 base64 runs
// into logical lines.
std::vector<Line> logicalLines(const std::vector<Line>& lines, Version version)
{
    std::vector<Line> out;
    bool base64Run = false;  // a 2.1 base64 value may go on without folding
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (trim(line.text).empty()) {
            base64Run = false;  // 2.1 ends a base64 value with a blank line
            continue;
        }
        if (isBlank(line.text.front())) {
            if (out.empty())
                fail(line.number, "continuation line without a property before it");
            // 2.1 folds at blanks that belong to the value; 3.0 and 4.0 insert
            // the blank and take it out again.
            out.back().text += version == Version::V21 ? std::string_view(line.text)
                                                       : std::string_view(line.text).substr(1);
            continue;
        }
        if (base64Run && headerEnd(line.text) == std::string_view::npos && isBase64Run(line.text)) {
            out.back().text += line.text;
            continue;
        }
        out.push_back(line);
        base64Run = version == Version::V21 && headerMentions(line.text, "BASE64");
        // A quoted-printable value that ends in "=" goes on on the next line,
        // whatever that line starts with.
        if (headerMentions(line.text, "QUOTED-PRINTABLE")) {
            while (!out.back().text.empty() && out.back().text.back() == '=' && i + 1 < lines.size()) {
                out.back().text.pop_back();
                out.back().text += lines[++i].text;
            }
        }
    }
    return out;
}

// Splits at `separator` outside double quotes.
std::vector<std::string> splitOutsideQuotes(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    std::string current;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == separator && !quoted) {
            parts.push_back(std::move(current));
            current.clear();
            continue;
        }
        current += c;
    }
    parts.push_back(std::move(current));
    return parts;
}

Property parseProperty(const Line& line, Version version)
{
    const std::size_t colon = headerEnd(line.text);
    if (colon == std::string_view::npos)
        fail(line.number, "property without a ':'");
    Property property;
    property.line = line.number;
    property.value = line.text.substr(colon + 1);

    std::vector<std::string> header = splitOutsideQuotes(std::string_view(line.text).substr(0, colon), ';');
    std::string name = header.front();
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos)
        name = name.substr(dot + 1);  // a group ("item1.TEL") does not matter here
    const bool validName = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    });
    if (!validName)
        fail(line.number, "malformed property name '" + header.front() + "'");
    property.name = upper(name);

    for (std::size_t i = 1; i < header.size(); ++i) {
        const std::string_view text = trim(header[i]);
        if (text.empty())
            continue;
        Param param;
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) {
            // 2.1 writes bare parameters: types ("CELL"), encodings
            // ("QUOTED-PRINTABLE") and value kinds ("URL").
            const std::string bare = upper(text);
            if (bare == "QUOTED-PRINTABLE" || bare == "BASE64" || bare == "8BIT" || bare == "7BIT")
                param.name = "ENCODING";
            else if (bare == "URL" || bare == "CONTENT-ID" || bare == "CID" || bare == "INLINE")
                param.name = "VALUE";
            else
                param.name = "TYPE";
            param.values.push_back(bare);
        } else {
            param.name = upper(trim(text.substr(0, equals)));
            const std::string_view values = text.substr(equals + 1);
            if (version == Version::V21)
                param.values.emplace_back(trim(values));
            else
                for (auto& value : splitOutsideQuotes(values, ','))
                    param.values.emplace_back(trim(value));
        }
        property.params.push_back(std::move(param));
    }
    return property;
}

std::vector<std::string> paramValues(const Property& property, std::string_view name)
{
    std::vector<std::string> values;
    for (const auto& param : property.params)
        if (param.name == name)
            values.insert(values.end(), param.values.begin(), param.values.end());
    return values;
}

std::string firstParam(const Property& property, std::string_view name)
{
    const auto values = paramValues(property, name);
    return values.empty() ? std::string() : values.front();
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string decodeQuotedPrintable(std::string_view text, int line)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
            continue;
        }
        const int high = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0)
            fail(line, "malformed quoted-printable escape");
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::vector<BYTE> decodeBase64(std::string_view text, int line)
{
    std::vector<BYTE> out;
    std::uint32_t bits = 0;
    int count = 0;
    bool padding = false;
    for (char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else if (c == '=') {
            padding = true;
            continue;
        } else if (isBlank(c) || c == '\r' || c == '\n') {
            continue;
        } else {
            fail(line, "malformed base64 data");
        }
        if (padding)
            fail(line, "base64 data after its padding");
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            out.push_back(static_cast<BYTE>(bits >> 16));
            out.push_back(static_cast<BYTE>(bits >> 8));
            out.push_back(static_cast<BYTE>(bits));
            bits = 0;
            count = 0;
        }
    }
    // Unpadded endings are accepted, as many writers leave the padding out.
    if (count == 1)
        fail(line, "truncated base64 data");
    if (count == 2) {
        out.push_back(static_cast<BYTE>(bits >> 4));
    } else if (count == 3) {
        out.push_back(static_cast<BYTE>(bits >> 10));
        out.push_back(static_cast<BYTE>(bits >> 2));
    }
    return out;
}

bool isValidUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length;
        char32_t code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        i += length;
    }
    return true;
}

// Converts text in `charset` to UTF-8 with the C library's converters.
std::string toUtf8From(std::string_view charset, const std::string& bytes, int line)
{
    const std::string name = upper(charset);
    if (name == "UTF-8" || name == "UTF8" || name == "US-ASCII" || name == "ASCII")
        return bytes;
    iconv_t converter = iconv_open("UTF-8", name.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        fail(line, "unknown character set '" + std::string(charset) + "'");
    std::string out(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (rc == static_cast<std::size_t>(-1))
        fail(line, "text is not valid " + std::string(charset));
    out.resize(out.size() - outLeft);
    return out;
}

// The property's value as text: decoded and converted to UTF-8, escapes
// still in place (structured values are split before unescaping).
std::string decodedText(const Property& property)
{
    const std::string encoding = upper(firstParam(property, "ENCODING"));
    std::string bytes;
    if (encoding.empty() || encoding == "8BIT" || encoding == "7BIT")
        bytes = property.value;
    else if (encoding == "QUOTED-PRINTABLE")
        bytes = decodeQuotedPrintable(property.value, property.line);
    else if (encoding == "BASE64" || encoding == "B") {
        const auto decoded = decodeBase64(property.value, property.line);
        bytes.assign(decoded.begin(), decoded.end());
    } else
        fail(property.line, "unknown encoding '" + firstParam(property, "ENCODING") + "'");

    const std::string charset = firstParam(property, "CHARSET");
    if (!charset.empty())
        bytes = toUtf8From(charset, bytes, property.line);
    if (!isValidUtf8(bytes))
        fail(property.line, "text is not UTF-8 and names no CHARSET");
    return bytes;
}

// Splits a structured value at unescaped separators, keeping the escapes.
std::vector<std::string> splitEscaped(std::string_view text, std::string_view separators)
{
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            parts.back() += text[i];
            parts.back() += text[++i];
        } else if (separators.find(text[i]) != std::string_view::npos) {
            parts.emplace_back();
        } else {
            parts.back() += text[i];
        }
    }
    return parts;
}

std::string unescape(std::string_view text, Version version)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[i + 1];
        // 2.1 escapes only the separators; a backslash before anything
        // else is the text's own.
        if (version == Version::V21 && next != ';' && next != ',') {
            out += text[i];
            continue;
        }
        ++i;
        out += next == 'n' || next == 'N' ? '\n' : next;
    }
    return out;
}

std::u16string wide(std::string_view utf8)
{
    return fromUtf8(utf8);
}

// Which phone slots a TEL line may take, best first.
std::vector<CEPROPID> phoneSlots(const Property& property)
{
    std::vector<std::string> types;
    for (const auto& value : paramValues(property, "TYPE"))
        for (const auto& part : splitOutsideQuotes(value, ','))
            types.push_back(lower(trim(part)));
    auto has = [&](std::string_view type) { return std::find(types.begin(), types.end(), type) != types.end(); };

    std::vector<CEPROPID> slots;
    if (has("cell") || has("mobile") || has("iphone"))
        slots = {PIMPR_MOBILE_TELEPHONE_NUMBER};
    else if (has("pager"))
        slots = {PIMPR_PAGER_NUMBER};
    else if (has("car"))
        slots = {PIMPR_CAR_TELEPHONE_NUMBER};
    else if (has("fax"))
        slots = {has("home") ? PIMPR_HOME_FAX_NUMBER : PIMPR_BUSINESS_FAX_NUMBER};
    else if (has("work"))
        slots = {PIMPR_BUSINESS_TELEPHONE_NUMBER, PIMPR_BUSINESS2_TELEPHONE_NUMBER};
    else if (has("home"))
        slots = {PIMPR_HOME_TELEPHONE_NUMBER, PIMPR_HOME2_TELEPHONE_NUMBER};
    else
        slots = {PIMPR_HOME_TELEPHONE_NUMBER, PIMPR_MOBILE_TELEPHONE_NUMBER, PIMPR_BUSINESS_TELEPHONE_NUMBER};
    // A card with more numbers of one kind than the card has slots for
    // keeps them in the other slots, so that the caller is still known.
    for (CEPROPID other : {PIMPR_HOME2_TELEPHONE_NUMBER, PIMPR_BUSINESS2_TELEPHONE_NUMBER,
                           PIMPR_RADIO_TELEPHONE_NUMBER, PIMPR_COMPANY_TELEPHONE_NUMBER,
                           PIMPR_ASSISTANT_TELEPHONE_NUMBER, PIMPR_CAR_TELEPHONE_NUMBER, PIMPR_MOBILE_TELEPHONE_NUMBER,
                           PIMPR_HOME_TELEPHONE_NUMBER, PIMPR_BUSINESS_TELEPHONE_NUMBER, PIMPR_PAGER_NUMBER,
                           PIMPR_HOME_FAX_NUMBER, PIMPR_BUSINESS_FAX_NUMBER})
        if (std::find(slots.begin(), slots.end(), other) == slots.end())
            slots.push_back(other);
    return slots;
}

std::string phoneNumberText(std::string text)
{
    // 4.0 writes numbers as tel: URIs; an extension after ";ext=" is not
    // part of what a caller ID shows.
    if (startsWithNoCase(text, "tel:"))
        text = text.substr(4);
    if (const std::size_t semicolon = text.find(';'); semicolon != std::string::npos)
        text = text.substr(0, semicolon);
    return std::string(trim(text));
}

struct Card {
    int line = 0;
    Version version = Version::V30;
    std::vector<Line> lines;  // between BEGIN and END
};

Version versionOf(const Card& card)
{
    for (const auto& line : card.lines) {
        if (!startsWithNoCase(line.text, "VERSION:"))
            continue;
        const std::string_view number = trim(std::string_view(line.text).substr(8));
        if (number == "2.1")
            return Version::V21;
        if (number == "3.0")
            return Version::V30;
        if (number == "4.0")
            return Version::V40;
        fail(line.number, "unsupported vCard version '" + std::string(number) + "'");
    }
    fail(card.line, "card without a VERSION");
}

ContactChanges readCard(const Card& card, std::vector<VCardError>& notes)
{
    ContactChanges contact;
    std::u16string formattedName;
    std::vector<std::u16string> categories;
    bool haveName = false;

    for (const Line& line : logicalLines(card.lines, card.version)) {
        const Property property = parseProperty(line, card.version);
        const std::string& name = property.name;
        if (name == "N" && !haveName) {
            haveName = true;
            const auto parts = splitEscaped(decodedText(property), ";");
            auto part = [&](std::size_t i) {
                return i < parts.size() ? wide(trim(unescape(parts[i], card.version))) : std::u16string();
            };
            if (auto last = part(0); !last.empty())
                contact.lastName = last;
            if (auto first = part(1); !first.empty())
                contact.firstName = first;
            if (auto middle = part(2); !middle.empty())
                contact.middleName = middle;
        } else if (name == "FN") {
            formattedName = wide(trim(unescape(decodedText(property), card.version)));
        } else if (name == "ORG" && !contact.company) {
            const auto parts = splitEscaped(decodedText(property), ";");
            if (auto company = wide(trim(unescape(parts.front(), card.version))); !company.empty())
                contact.company = company;
        } else if (name == "TEL") {
            const std::u16string number = wide(phoneNumberText(unescape(decodedText(property), card.version)));
            if (number.empty())
                continue;
            bool kept = false;
            for (CEPROPID slot : phoneSlots(property)) {
                const bool taken = std::any_of(contact.phones.begin(), contact.phones.end(),
                                               [&](const auto& phone) { return phone.first == slot; });
                if (!taken) {
                    contact.phones.emplace_back(slot, number);
                    kept = true;
                    break;
                }
            }
            if (!kept)
                notes.push_back({property.line, "no phone number left free for " + toUtf8(number) + "; not kept"});
        } else if (name == "CATEGORIES") {
            // 2.1 writers separate categories with semicolons as well.
            const auto parts = splitEscaped(decodedText(property), card.version == Version::V21 ? ",;" : ",");
            for (const auto& part : parts) {
                std::u16string category = pim::trimCategory(wide(unescape(part, card.version)));
                const bool known = std::any_of(categories.begin(), categories.end(), [&](const auto& other) {
                    return foldCase(other) == foldCase(category);
                });
                if (category.find(u',') != std::u16string::npos)
                    notes.push_back({property.line, "category '" + toUtf8(category) +
                                                        "' holds a comma, which a contact's categories cannot; "
                                                        "not kept"});
                else if (!category.empty() && !known)
                    categories.push_back(std::move(category));
            }
        } else if (name == "PHOTO") {
            const std::string encoding = upper(firstParam(property, "ENCODING"));
            if (encoding == "BASE64" || encoding == "B") {
                contact.picture = decodeBase64(property.value, property.line);
            } else if (startsWithNoCase(property.value, "data:")) {
                const std::size_t comma = property.value.find(',');
                const std::string_view meta = std::string_view(property.value).substr(0, comma);
                if (comma == std::string::npos || upper(meta).find(";BASE64") == std::string::npos)
                    fail(property.line, "PHOTO data: URI without base64 data");
                contact.picture = decodeBase64(std::string_view(property.value).substr(comma + 1), property.line);
            } else {
                notes.push_back({property.line, "PHOTO given by reference is not fetched"});
            }
        }
    }

    if (!categories.empty()) {
        std::u16string list;
        for (const auto& category : categories) {
            if (!list.empty())
                list += u',';
            list += category;
        }
        contact.categories = list;
    }
    // A card that names nobody in N (4.0 makes N optional) still has its
    // formatted name, unless that only repeats the company.
    if (!contact.firstName && !contact.lastName && !formattedName.empty() &&
        (!contact.company || *contact.company != formattedName))
        contact.firstName = formattedName;
    return contact;
}

bool isCardLine(std::string_view line, std::string_view what)
{
    const std::string_view text = trim(line);
    return line.size() && !isBlank(line.front()) && equalsNoCase(text, what);
}

}  // namespace

VCardParseResult parseVCards(std::string_view text)
{
    VCardParseResult result;
    try {
        const std::vector<Line> lines = physicalLines(text);
        std::optional<Card> card;
        int depth = 0;  // cards inside a card (2.1 AGENT) are skipped whole
        for (const Line& line : lines) {
            if (!card) {
                if (trim(line.text).empty())
                    continue;
                if (!isCardLine(line.text, "BEGIN:VCARD"))
                    fail(line.number, "text outside a card");
                card = Card{line.number, Version::V30, {}};
                depth = 1;
                continue;
            }
            if (isCardLine(line.text, "BEGIN:VCARD")) {
                ++depth;
                continue;
            }
            if (isCardLine(line.text, "END:VCARD")) {
                if (--depth > 0)
                    continue;
                card->version = versionOf(*card);
                result.cards.push_back(readCard(*card, result.notes));
                card.reset();
                continue;
            }
            if (depth == 1)
                card->lines.push_back(line);
        }
        if (card)
            fail(card->line, "card without END:VCARD");
    } catch (const Malformed& malformed) {
        result.cards.clear();
        result.notes.clear();
        result.error = VCardError{malformed.line, malformed.message};
    }
    return result;
}

VCardImportResult importVCards(std::string_view text)
{
    VCardImportResult result;
    VCardParseResult parsed = parseVCards(text);
    result.notes = std::move(parsed.notes);
    if (parsed.error) {
        result.error = std::move(parsed.error);
        return result;
    }

    pim::Store store;
    int rc = store.status();
    if (rc == SQLITE_OK) {
        rc = store.beginWrite();
        for (std::size_t i = 0; rc == SQLITE_OK && i < parsed.cards.size(); ++i) {
            CEOID oid = 0;
            rc = saveFields(store, oid, parsed.cards[i]);
            if (rc == SQLITE_OK)
                result.added.push_back(oid);
        }
        rc = store.endWrite(rc);
    }
    if (rc != SQLITE_OK) {
        result.added.clear();
        result.status = adminResult(rc);
        result.error = VCardError{0, "the contacts could not be saved (error " + std::to_string(result.status) + ")"};
    }
    return result;
}

VCardImportResult importVCardFile(const std::filesystem::path& file)
{
    const std::optional<std::string> text = readHostFile(file);
    if (!text) {
        VCardImportResult result;
        result.status = ERROR_FILE_NOT_FOUND;
        result.error = VCardError{0, "cannot read " + file.string()};
        return result;
    }
    return importVCards(*text);
}

}  // namespace handset::contacts
