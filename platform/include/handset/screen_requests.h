// How `handset screen` and `handset input` talk to a program with windows.
//
// Every program that makes windows serves requests on a Unix socket of its
// own, run/ui/<program>.<pid>.sock of its device (<program> being its file
// name, "Tonquil.exe"); the socket file's modification time is when the
// program last showed a form, so the newest live one is the foreground
// program. One request per connection, one answer, then the program closes.
//
// A request and an answer are each one frame: a 32-bit little-endian length,
// then that many bytes. A request's bytes are its words separated by NUL
// (no word of a command line can hold one):
//
//   screen                      the foreground window, as lines of text
//   shot                        the foreground window as a PNG picture
//   tap X Y                     pen down and up at form coordinates
//   tap-id ID                   at the centre of control ID
//   tap-text TEXT               at the centre of the control, row, tab or button showing TEXT
//   key NAME                    left right up down action softkey1 softkey2
//   text TEXT                   typed into the focused control
//   choose ID TEXT              picks the item TEXT of combo box or list ID
//   menu LABEL/LABEL...         opens a soft key's menu and chooses the item
//
// An answer starts with the line "ok" or "error REASON"; after "ok" comes
// the result (text, or the picture's bytes). Both sides refuse a frame
// longer than its limit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <handset/device.h>

namespace handset::screen {

constexpr std::uint32_t kMaxRequestBytes = 64 * 1024;
constexpr std::uint32_t kMaxAnswerBytes = 16 * 1024 * 1024;
// How long `handset screen` and `handset input` wait for a program's answer.
constexpr int kAnswerSeconds = 10;

inline std::filesystem::path socketFolder()
{
    return deviceRoot() / "run" / "ui";
}

inline std::string socketName(std::string_view program, long pid)
{
    return std::string(program) + "." + std::to_string(pid) + ".sock";
}

// The words of a request in one frame body.
inline std::string joinWords(const std::vector<std::string>& words)
{
    std::string body;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0)
            body += '\0';
        body += words[i];
    }
    return body;
}

inline std::vector<std::string> splitWords(std::string_view body)
{
    std::vector<std::string> words;
    for (std::size_t start = 0;;) {
        const std::size_t end = body.find('\0', start);
        words.emplace_back(body.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return words;
        start = end + 1;
    }
}

inline std::string frame(std::string_view body)
{
    std::string out;
    const auto size = static_cast<std::uint32_t>(body.size());
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((size >> shift) & 0xFF);
    out += body;
    return out;
}

inline std::uint32_t frameLength(const unsigned char header[4])
{
    return std::uint32_t{header[0]} | std::uint32_t{header[1]} << 8 | std::uint32_t{header[2]} << 16 |
           std::uint32_t{header[3]} << 24;
}

}  // namespace handset::screen
