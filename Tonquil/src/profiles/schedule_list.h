// The schedule editor's working list: its items in the order the list box
// shows them (by text, which is by time), their packed values, and the rules
// of Add and Remove. The schedule dialog mirrors this list into its list box.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <settings/settings.h>

namespace tonquil {

constexpr std::uint32_t kMinutesPerDay = 24 * 60;

// A list item's value: minutes since midnight in the upper 16 bits, the
// profile index in the lower 16.
constexpr std::uint32_t packScheduleItem(std::uint32_t minutes, std::uint32_t profile)
{
    return (minutes << 16) | (profile & 0xFFFF);
}
constexpr settings::ScheduleEntry unpackScheduleItem(std::uint32_t value)
{
    return settings::ScheduleEntry{value >> 16, value & 0xFFFF};
}

// "At %.2ld:%.2ld switch to %s": for 7:05 and "Loud", "At 07:05 switch to Loud".
std::u16string scheduleItemText(std::uint32_t minutes, std::uint32_t profile);

// The message Add gives when the schedule is full and the new time is not in it.
extern const char16_t* const kScheduleFullMessage;

struct ScheduleItem {
    std::u16string text;
    std::uint32_t value = 0;

    friend bool operator==(const ScheduleItem&, const ScheduleItem&) = default;
};

class ScheduleList {
public:
    enum class AddResult { Added, Replaced, Full };

    // Adds the entry in its sorted place. An item at the same time is
    // replaced whatever its profile; a new time is refused when the list
    // already holds the 25 entries the stored schedule can take.
    AddResult add(std::uint32_t minutes, std::uint32_t profile);
    // Removes item `row`; false (and nothing changes) for no such row.
    bool remove(int row);

    const std::vector<ScheduleItem>& items() const { return items_; }
    std::size_t size() const { return items_.size(); }
    // The row of the item at `minutes`, or -1.
    int rowOf(std::uint32_t minutes) const;
    // The entries in list order, earliest first, as the schedule is stored.
    std::vector<settings::ScheduleEntry> entries() const;

    // Reads the stored schedule (at most 25 entries). An unreadable or
    // oversized schedule gives an empty list. Entries the editor could never
    // have made (a time of 24:00 or later, a profile outside 0 to 4) are left
    // out, and a second entry at one time replaces the first, so the list
    // always keeps the rules of the stored schedule.
    static ScheduleList load();
    // Stores the list, in its order, as the whole schedule; an empty list
    // stores an empty schedule.
    void save() const;

private:
    std::vector<ScheduleItem> items_;
};

}  // namespace tonquil
