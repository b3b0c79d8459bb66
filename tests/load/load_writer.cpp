// One process of the load: it works on a device through the settings library,
// as the configuration application does, until a stop file appears, then
// prints what it did as "name=value" lines. Its exit status is 0 only when
// every call it made succeeded and everything it read was whole.
//
//   load_writer DEVICE profiles WRITER STOPFILE INDEX...   writes stamped records
//   load_writer DEVICE selector WRITER STOPFILE            changes the selector
//   load_writer DEVICE reset    WRITER STOPFILE            resets the profiles
//   load_writer DEVICE reader   WRITER STOPFILE            reads every record
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <handset/device.h>
#include <settings/settings.h>

#include "stamps.h"

namespace {

namespace fs = std::filesystem;

struct Counts {
    std::map<std::string, unsigned long> values;
    bool failed = false;

    void add(const std::string& name, unsigned long n = 1) { values[name] += n; }
    void fail(const std::string& what)
    {
        std::fprintf(stderr, "%s\n", what.c_str());
        add("failures");
        failed = true;
    }
    int print() const
    {
        for (const auto& [name, value] : values)
            std::printf("%s=%lu\n", name.c_str(), value);
        return failed ? 1 : 0;
    }
};

// Writes a stamped record into each of its own profiles per round; its last
// round for each is what the device must hold at the end.
int writeProfiles(int writer, const fs::path& stop, const std::vector<int>& indices)
{
    Counts counts;
    // The round after the stop file appeared is the last one: it starts after
    // whatever the test stopped before, so nothing of that may come after it.
    std::uint32_t round = 0;
    for (bool last = false; !last; ++round) {
        last = fs::exists(stop);
        for (int index : indices) {
            // Index -1 stands for the VIP profile.
            const settings::ProfileRecord record = load::stampedRecord(index, writer, round);
            const bool written = index < 0 ? settings::writeVipProfile(record) : settings::writeProfile(record);
            if (written)
                counts.add("profile_writes");
            else
                counts.add("profile_write_failures");
        }
    }
    counts.values["last_round"] = round == 0 ? 0 : round - 1;
    counts.values["rounds"] = round;
    return counts.print();
}

// The selector takes every profile and the schedule in turn; each value read
// back is one the selector can hold.
int changeSelector(int writer, const fs::path& stop)
{
    Counts counts;
    std::int32_t last = 0;
    for (std::uint32_t round = 0, stopping = 0; !stopping; ++round) {
        stopping = fs::exists(stop);
        last = static_cast<std::int32_t>((round + writer) % (settings::kProfileCount + 1)) - 1;
        settings::writeCurrentProfile(last);
        counts.add("selector_writes");
        const std::int32_t read = settings::readCurrentProfile();
        if (read < settings::PROFILE_SCHEDULE || read >= settings::kProfileCount)
            counts.fail("the selector read " + std::to_string(read));
        counts.add("selector_reads");
    }
    counts.values["last_selector"] = static_cast<unsigned long>(last + 1);  // shifted: -1 prints as 0
    return counts.print();
}

int resetProfiles(const fs::path& stop)
{
    Counts counts;
    while (!fs::exists(stop)) {
        settings::resetProfiles();
        counts.add("resets");
    }
    return counts.print();
}

// Reads every record and the selector over and over. A record that is not
// there is a reset at work; one that reads is judged.
int readEverything(const fs::path& stop)
{
    Counts counts;
    while (!fs::exists(stop)) {
        for (std::int32_t index = -1; index < settings::kProfileCount; ++index) {
            settings::ProfileRecord record;
            const bool read = index < 0 ? settings::readVipProfile(record) : settings::readProfile(index, record);
            counts.add("record_reads");
            if (!read) {
                counts.add("records_absent");
                continue;
            }
            switch (load::judge(record, index)) {
            case load::Reading::Whole:
                counts.add("records_whole");
                break;
            case load::Reading::Mixed:
                counts.add("records_mixed");
                break;
            case load::Reading::TornValue:
                counts.fail("a torn value in profile " + std::to_string(index));
                break;
            }
        }
        const std::int32_t selector = settings::readCurrentProfile();
        if (selector < settings::PROFILE_SCHEDULE || selector >= settings::kProfileCount)
            counts.fail("the selector read " + std::to_string(selector));
        counts.add("selector_reads");
    }
    return counts.print();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: load_writer DEVICE profiles|selector|reset|reader WRITER STOPFILE [INDEX...]\n");
        return 2;
    }
    handset::setDeviceRoot(argv[1]);
    const std::string mode = argv[2];
    const int writer = std::atoi(argv[3]);
    const fs::path stop = argv[4];
    if (mode == "profiles") {
        std::vector<int> indices;
        for (int i = 5; i < argc; ++i)
            indices.push_back(std::atoi(argv[i]));
        return writeProfiles(writer, stop, indices);
    }
    if (mode == "selector")
        return changeSelector(writer, stop);
    if (mode == "reset")
        return resetProfiles(stop);
    if (mode == "reader")
        return readEverything(stop);
    std::fprintf(stderr, "load_writer: unknown mode %s\n", mode.c_str());
    return 2;
}
