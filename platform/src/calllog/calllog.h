// The device's call log database ("calllog.db"): the radio records every
// call when it ends; the phone's call log functions (handset/phone.h) read
// it. Standing on SQLite alone, so that a log that cannot be written costs
// the call nothing but its entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <handset/phone.h>

namespace handset::calllog {

// The log keeps the newest this many calls; recording one more forgets the
// oldest, so that a phone that is called all day never fills its storage.
inline constexpr std::size_t kMaxEntries = 500;
// Longer texts are cut to this many code units when they are recorded.
inline constexpr std::size_t kMaxTextLength = 1024;

enum class Outcome { Missed = 0, Answered = 1, Rejected = 2 };

struct Entry {
    std::int64_t start = 0;  // FILETIME on the device's local clock
    std::int64_t end = 0;
    Outcome outcome = Outcome::Missed;
    bool outgoing = false;
    CALLERIDTYPE callerIdType = CALLERIDTYPE_UNAVAILABLE;
    std::optional<std::u16string> number;
    std::optional<std::u16string> name;
    std::optional<std::u16string> nameType;
};

// Now on the device's local clock, as a FILETIME.
std::int64_t now();

// Adds a call. A damaged log is set aside as "calllog.db.damaged" and a new
// one begun; the empty string, or why the call could not be recorded.
std::string record(const Entry& entry);

// One state of the log, read newest first and only as far as it is asked:
// a reader of recent calls stops at the first call that is too old, however
// long the log. Calls recorded while a reader is open do not shift its rows.
class Reader {
public:
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Null, with `error` saying why, when the log cannot be read; a missing
    // log reads as an empty one.
    static std::unique_ptr<Reader> open(std::string& error);
    // The entry `index` places from the newest; null past the end, or when
    // the log could not be read that far (error() then says why).
    const Entry* at(std::size_t index);
    // How many calls the log holds; nullopt (error() says why) when it cannot
    // be counted.
    std::optional<std::size_t> count();
    const std::string& error() const { return error_; }

private:
    struct State;
    explicit Reader(std::unique_ptr<State> state);

    std::unique_ptr<State> state_;
    std::vector<Entry> fetched_;  // newest first, as far as asked
    std::string error_;
};

// Every recorded call, newest first; the empty string, or why the log could
// not be read (a missing log is an empty one).
std::string readAll(std::vector<Entry>& entries);

}  // namespace handset::calllog
