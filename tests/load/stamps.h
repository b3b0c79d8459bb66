// The records the load's writers store, made so that a reader can tell from
// any value it reads which write it came from: every number of a written
// profile carries its field, its writer and its round. A value is whole when
// it is one some writer stored for that field; a record is whole when all its
// numbers come from one write (or it is a default record a reset stored).
#pragma once

#include <cstdint>

#include <settings/settings.h>

namespace load {

constexpr std::uint32_t kStampMark = 0x40000000;
constexpr int kFieldCount = 8;

// The fields of a record in the order the settings library stores them.
inline std::int32_t fieldOf(const settings::ProfileRecord& r, int field)
{
    const std::int32_t values[kFieldCount] = {r.callVolume,           r.smsVolume,      r.vibrateCall,
                                              r.vibrateSms,           r.announceIncomingCall,
                                              r.increasingRing,       r.vibrateBeforeRing, r.displaySms};
    return values[field];
}

inline std::int32_t stampedValue(int field, int writer, std::uint32_t round)
{
    return static_cast<std::int32_t>(kStampMark | std::uint32_t(field) << 24 | std::uint32_t(writer & 0xff) << 16 |
                                     (round & 0xffff));
}

// The record writer `writer` stores for profile `index` in round `round`.
inline settings::ProfileRecord stampedRecord(std::int32_t index, int writer, std::uint32_t round)
{
    settings::ProfileRecord r;
    r.index = index;
    r.callVolume = stampedValue(0, writer, round);
    r.smsVolume = stampedValue(1, writer, round);
    r.vibrateCall = stampedValue(2, writer, round);
    r.vibrateSms = stampedValue(3, writer, round);
    r.announceIncomingCall = stampedValue(4, writer, round);
    r.increasingRing = stampedValue(5, writer, round);
    r.vibrateBeforeRing = stampedValue(6, writer, round);
    r.displaySms = stampedValue(7, writer, round);
    return r;
}

enum class Reading { Whole, Mixed, TornValue };

// Judges a record read back for profile `index` (-1 for the VIP profile):
// TornValue when a number is neither its field's default nor a stamp of its
// own field, Mixed when the numbers are whole but come from different writes
// (a reset's defaults count as one write).
inline Reading judge(const settings::ProfileRecord& read, std::int32_t index)
{
    const settings::ProfileRecord& fallback =
        index < 0 ? settings::defaultVipProfile() : settings::defaultProfile(index);
    constexpr std::uint32_t kDefaults = 0xffffffff;  // no stamp has this origin
    std::uint32_t origins[kFieldCount];
    for (int field = 0; field < kFieldCount; ++field) {
        const std::uint32_t value = static_cast<std::uint32_t>(fieldOf(read, field));
        if ((value & 0xc0000000) == kStampMark && (value >> 24 & 0x3f) == std::uint32_t(field))
            origins[field] = value & 0xffffff;
        else if (value == static_cast<std::uint32_t>(fieldOf(fallback, field)))
            origins[field] = kDefaults;
        else
            return Reading::TornValue;
    }
    for (int field = 1; field < kFieldCount; ++field)
        if (origins[field] != origins[0])
            return Reading::Mixed;
    return Reading::Whole;
}

}  // namespace load
