#include "schedule_list.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "profile_fields.h"

namespace tonquil {

using settings::ScheduleEntry;

const char16_t* const kScheduleFullMessage =
    u"The schedule holds at most 25 switching times. Remove one, or pick a time that is already listed "
    u"to change its profile.";

std::u16string scheduleItemText(std::uint32_t minutes, std::uint32_t profile)
{
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "At %.2ld:%.2ld switch to ", static_cast<long>(minutes / 60),
                  static_cast<long>(minutes % 60));
    std::u16string text(prefix, prefix + std::char_traits<char>::length(prefix));
    return text + profileName(static_cast<std::int32_t>(profile));
}

int ScheduleList::rowOf(std::uint32_t minutes) const
{
    for (std::size_t row = 0; row < items_.size(); ++row) {
        if (unpackScheduleItem(items_[row].value).minutes == minutes)
            return static_cast<int>(row);
    }
    return -1;
}

ScheduleList::AddResult ScheduleList::add(std::uint32_t minutes, std::uint32_t profile)
{
    const int existing = rowOf(minutes);
    if (existing < 0 && items_.size() >= settings::kMaxScheduleEntries)
        return AddResult::Full;
    if (existing >= 0)
        items_.erase(items_.begin() + existing);

    // The list box sorts by text; with two-digit hours and minutes that is
    // time order, and a new item goes after any equal text.
    ScheduleItem item{scheduleItemText(minutes, profile), packScheduleItem(minutes, profile)};
    const auto place = std::upper_bound(items_.begin(), items_.end(), item,
                                        [](const ScheduleItem& a, const ScheduleItem& b) { return a.text < b.text; });
    items_.insert(place, std::move(item));
    return existing >= 0 ? AddResult::Replaced : AddResult::Added;
}

bool ScheduleList::remove(int row)
{
    if (row < 0 || static_cast<std::size_t>(row) >= items_.size())
        return false;
    items_.erase(items_.begin() + row);
    return true;
}

std::vector<ScheduleEntry> ScheduleList::entries() const
{
    std::vector<ScheduleEntry> entries;
    entries.reserve(items_.size());
    for (const ScheduleItem& item : items_)
        entries.push_back(unpackScheduleItem(item.value));
    return entries;
}

ScheduleList ScheduleList::load()
{
    std::array<ScheduleEntry, settings::kMaxScheduleEntries> stored{};
    std::uint32_t count = settings::kMaxScheduleEntries;
    ScheduleList list;
    if (!settings::readSchedule(stored.data(), count))
        return list;
    for (std::uint32_t i = 0; i < count; ++i) {
        const ScheduleEntry& entry = stored[i];
        if (entry.minutes >= kMinutesPerDay || entry.profile >= static_cast<std::uint32_t>(settings::kProfileCount))
            continue;
        list.add(entry.minutes, entry.profile);
    }
    return list;
}

void ScheduleList::save() const
{
    const std::vector<ScheduleEntry> all = entries();
    settings::writeSchedule(all.data(), static_cast<std::uint32_t>(all.size()));
}

}  // namespace tonquil
