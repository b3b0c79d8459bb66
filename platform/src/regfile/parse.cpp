// Reading a .reg file into registry operations.
//
// The whole file is parsed before anything is applied, so that a file with a
// fault on its last line changes nothing.
#include <handset/regfile.h>

#include <handset/wstring.h>

#include "regfile/regfile_internal.h"

namespace handset {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

void appendUtf16Le(std::vector<BYTE>& out, std::u16string_view text)
{
    for (char16_t c : text) {
        out.push_back(static_cast<BYTE>(c & 0xFF));
        out.push_back(static_cast<BYTE>(c >> 8));
    }
}

// The file's text as UTF-8, whatever encoding its byte order mark names.
struct DecodedText {
    std::string text;
    std::optional<RegFileError> error;
};

DecodedText decode(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return {std::string(bytes.substr(3)), std::nullopt};
    if (bytes.starts_with("\xFE\xFF"))
        return {{}, RegFileError{1, "UTF-16 big-endian files are not supported; save the file as UTF-16LE or UTF-8"}};
    if (!bytes.starts_with("\xFF\xFE"))
        return {std::string(bytes), std::nullopt};

    bytes.remove_prefix(2);
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    int line = 1;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] == u'\n')
            ++line;
        const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
        const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
            ++i;
        else if (high || low)
            return {{}, RegFileError{line, "unpaired UTF-16 surrogate"}};
    }
    if (bytes.size() % 2 != 0)
        return {{}, RegFileError{line, "UTF-16 file ends in the middle of a character"}};
    return {toUtf8(units), std::nullopt};
}

class Parser {
public:
    explicit Parser(std::string_view text)
    {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            lines_.push_back(line);
            start = end + 1;
        }
    }

    RegParseResult run()
    {
        // Whatever else a file that is no registry file holds, that is what
        // its user needs to hear.
        const std::string_view header = trim(lines_[0]);
        if (header == kHeader5)
            unicode_ = true;
        else if (header == kHeader4)
            unicode_ = false;
        else
            return refused(1, "not a registry file: the first line must be \"" + std::string(kHeader5) + "\" or \"" +
                                  std::string(kHeader4) + "\"");

        for (std::size_t i = 1; i < lines_.size(); ++i) {
            if (!regfile_detail::isValidUtf8(lines_[i]))
                return refused(static_cast<int>(i) + 1, "text is not valid UTF-8");
            if (lines_[i].find('\0') != std::string_view::npos)
                return refused(static_cast<int>(i) + 1, "NUL character");
        }

        next_ = 1;
        while (next_ < lines_.size()) {
            const int lineNumber = static_cast<int>(next_) + 1;
            const std::string_view line = trim(lines_[next_++]);
            std::optional<std::string> problem;
            if (line.empty() || line.front() == ';')
                continue;
            if (line.front() == '[')
                problem = parseSection(line, lineNumber);
            else if (line.front() == '"' || line.front() == '@')
                problem = parseValue(line, lineNumber);
            else
                problem = "expected a [key] line, a value line or a ; comment";
            if (problem)
                return refused(errorLine_ ? errorLine_ : lineNumber, *problem);
        }
        return {std::move(operations_), std::nullopt};
    }

private:
    static RegParseResult refused(int line, std::string message)
    {
        return {{}, RegFileError{line, std::move(message)}};
    }

    std::optional<std::string> parseSection(std::string_view line, int lineNumber)
    {
        if (line.back() != ']' || line.size() < 2)
            return "key line does not end with ]";
        std::string_view inner = line.substr(1, line.size() - 2);
        const bool deletion = !inner.empty() && inner.front() == '-';
        if (deletion)
            inner.remove_prefix(1);
        auto parsed = regfile_detail::parseKeyPath(inner);
        if (auto* problem = std::get_if<std::string>(&parsed))
            return *problem;
        RegKeyPath key = std::get<RegKeyPath>(std::move(parsed));

        RegOperation operation;
        operation.line = lineNumber;
        operation.key = key;
        if (deletion) {
            if (key.subKey.empty())
                return "a root key cannot be deleted";
            operation.kind = RegOperation::Kind::DeleteKey;
            current_.reset();
            afterDeletion_ = true;
        } else {
            operation.kind = RegOperation::Kind::CreateKey;
            current_ = std::move(key);
        }
        operations_.push_back(std::move(operation));
        return std::nullopt;
    }

    // Reads a "quoted" string starting at text[pos] == '"'; only \\ and \"
    // are escapes, as the registry editor writes them.
    std::optional<std::string> parseQuoted(std::string_view text, std::size_t& pos, std::string& out)
    {
        out.clear();
        ++pos;
        while (pos < text.size()) {
            const char c = text[pos++];
            if (c == '"')
                return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos >= text.size())
                break;
            const char escaped = text[pos++];
            if (escaped != '\\' && escaped != '"')
                return std::string("unknown escape \\") + escaped + " in a string (write \\\\ for a backslash)";
            out += escaped;
        }
        return std::string("string has no closing \"");
    }

    std::optional<std::string> parseValue(std::string_view line, int lineNumber)
    {
        if (!current_) {
            if (afterDeletion_)
                return std::string("value after a [-key] deletion belongs to no key");
            return std::string("value before the first [key] line");
        }

        RegOperation operation;
        operation.line = lineNumber;
        operation.key = *current_;
        operation.kind = RegOperation::Kind::SetValue;

        std::size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else {
            std::string name;
            if (auto problem = parseQuoted(line, pos, name))
                return problem;
            operation.valueName = fromUtf8(name);
            if (operation.valueName.size() > MAX_VALUE_NAME)
                return "value name longer than " + std::to_string(MAX_VALUE_NAME) + " characters";
        }
        while (pos < line.size() && isSpace(line[pos]))
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return std::string("expected = after the value name");
        ++pos;
        while (pos < line.size() && isSpace(line[pos]))
            ++pos;
        const std::string_view data = line.substr(pos);

        if (data == "-") {
            operation.kind = RegOperation::Kind::DeleteValue;
        } else if (!data.empty() && data.front() == '"') {
            std::string text;
            std::size_t end = 0;
            if (auto problem = parseQuoted(data, end, text))
                return problem;
            if (!trim(data.substr(end)).empty())
                return std::string("unexpected text after the closing \"");
            operation.type = REG_SZ;
            appendUtf16Le(operation.data, fromUtf8(text));
            appendUtf16Le(operation.data, std::u16string_view(u"\0", 1));
        } else if (startsWithIgnoringCase(data, "dword:")) {
            const std::string_view digits = data.substr(6);
            if (digits.empty() || digits.size() > 8)
                return std::string("dword: takes 1 to 8 hex digits");
            DWORD value = 0;
            for (char c : digits) {
                const int digit = hexDigit(c);
                if (digit < 0)
                    return std::string("dword: takes 1 to 8 hex digits");
                value = (value << 4) | static_cast<DWORD>(digit);
            }
            operation.type = REG_DWORD;
            for (int shift = 0; shift < 32; shift += 8)
                operation.data.push_back(static_cast<BYTE>(value >> shift));
        } else if (startsWithIgnoringCase(data, "hex")) {
            std::size_t at = 3;
            operation.type = REG_BINARY;
            if (at < data.size() && data[at] == '(') {
                const std::size_t close = data.find(')', at);
                if (close == std::string_view::npos)
                    return std::string("hex( has no closing )");
                const std::string_view digits = data.substr(at + 1, close - at - 1);
                if (digits.empty() || digits.size() > 8)
                    return std::string("hex(N): takes a type of 1 to 8 hex digits");
                DWORD type = 0;
                for (char c : digits) {
                    const int digit = hexDigit(c);
                    if (digit < 0)
                        return std::string("hex(N): takes a type of 1 to 8 hex digits");
                    type = (type << 4) | static_cast<DWORD>(digit);
                }
                operation.type = type;
                at = close + 1;
            }
            if (at >= data.size() || data[at] != ':')
                return std::string("expected : after hex");
            if (auto problem = parseHexList(data.substr(at + 1), operation.data))
                return problem;
            // REGEDIT4 files hold these two string types in the 8-bit text
            // encoding; the registry keeps them in UTF-16.
            if (!unicode_ && (operation.type == REG_EXPAND_SZ || operation.type == REG_MULTI_SZ)) {
                const std::string_view bytes(reinterpret_cast<const char*>(operation.data.data()),
                                             operation.data.size());
                if (!regfile_detail::isValidUtf8(bytes))
                    return std::string("string data is not valid UTF-8");
                const std::u16string text = fromUtf8(bytes);
                operation.data.clear();
                appendUtf16Le(operation.data, text);
            }
        } else {
            return std::string("expected \"text\", dword:, hex:, hex(N): or - after =");
        }
        operations_.push_back(std::move(operation));
        return std::nullopt;
    }

    // Reads comma-separated hex bytes; a '\' at the end of a line continues
    // the list on the next one. On failure errorLine_ names the line at
    // fault, which may be a continuation line.
    std::optional<std::string> parseHexList(std::string_view text, std::vector<BYTE>& out)
    {
        std::size_t pos = 0;
        auto skipSpaces = [&] {
            while (pos < text.size() && isSpace(text[pos]))
                ++pos;
        };
        // A '\' followed by nothing but blanks.
        auto atContinuation = [&] { return pos < text.size() && text[pos] == '\\' && trim(text.substr(pos + 1)).empty(); };
        auto continueOnNextLine = [&]() -> std::optional<std::string> {
            if (next_ >= lines_.size())
                return std::string("line continuation at the end of the file");
            errorLine_ = static_cast<int>(next_) + 1;
            text = trim(lines_[next_++]);
            pos = 0;
            if (text.empty())
                return std::string("empty line where a continued hex list was expected");
            return std::nullopt;
        };

        skipSpaces();
        if (pos >= text.size())
            return std::nullopt;
        for (;;) {
            if (atContinuation()) {
                if (auto problem = continueOnNextLine())
                    return problem;
            }
            const std::size_t start = pos;
            while (pos < text.size() && hexDigit(text[pos]) >= 0)
                ++pos;
            if (pos == start)
                return pos < text.size() ? "unexpected '" + std::string(1, text[pos]) + "' in a hex list"
                                         : std::string("expected a hex byte");
            if (pos - start > 2)
                return std::string("hex byte with more than two digits");
            int value = 0;
            for (std::size_t i = start; i < pos; ++i)
                value = value * 16 + hexDigit(text[i]);
            out.push_back(static_cast<BYTE>(value));

            skipSpaces();
            if (pos >= text.size())
                break;
            if (atContinuation()) {
                if (auto problem = continueOnNextLine())
                    return problem;
                continue;
            }
            if (text[pos] != ',')
                return "unexpected '" + std::string(1, text[pos]) + "' in a hex list";
            ++pos;
            skipSpaces();
            if (pos >= text.size())
                break;  // a trailing comma ends the list
        }
        errorLine_ = 0;
        return std::nullopt;
    }

    std::vector<std::string_view> lines_;
    std::size_t next_ = 0;  // index of the next physical line to read
    bool unicode_ = true;   // version 5.00 rather than REGEDIT4
    std::optional<RegKeyPath> current_;
    bool afterDeletion_ = false;
    int errorLine_ = 0;  // set when a fault lies on a continuation line
    std::vector<RegOperation> operations_;
};

}  // namespace

RegParseResult parseRegFile(std::string_view bytes)
{
    DecodedText decoded = decode(bytes);
    if (decoded.error)
        return {{}, decoded.error};
    return Parser(decoded.text).run();
}

}  // namespace handset
