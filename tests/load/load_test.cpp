// Several processes on one booted device at once: the Today screen and the
// messaging host (resident), calls and messages from the command line,
// writers and readers through the settings library in processes of their
// own, and `handset reg set`. Afterwards the stores are sound, nothing read
// was torn, nothing failed, and every write that was acknowledged is there.
//
// It hammers for TONQUIL_LOAD_SECONDS (30 by default; set it higher to run
// it longer by hand).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

#include <handset/registry.h>

#include "booted_device.h"
#include "stamps.h"

extern char** environ;

namespace {

using namespace load;

// A load process started in the background, its output kept in files.
struct Worker {
    std::string name;
    pid_t pid = -1;
    fs::path out, err;
};

Worker startWorker(const std::string& name, std::vector<std::string> arguments, const fs::path& folder)
{
    Worker worker{name, -1, folder / (name + ".out"), folder / (name + ".err")};
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, worker.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, worker.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&worker.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        worker.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return worker;
}

// Waits for the worker and reads its "name=value" lines; a failed worker is a
// test failure that shows what it said.
std::map<std::string, unsigned long> finish(const Worker& worker)
{
    int status = 0;
    EXPECT_EQ(worker.pid, ::waitpid(worker.pid, &status, 0)) << worker.name;
    const std::string err = handset::testing::slurp(worker.err);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << worker.name << " (status " << status << "): " << err;
    std::map<std::string, unsigned long> values;
    std::istringstream lines(handset::testing::slurp(worker.out));
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = std::stoul(line.substr(equals + 1));
    }
    return values;
}

void touch(const fs::path& file)
{
    std::ofstream{file};
}

// How long each command of one lane took, as its user waited for it.
struct Latencies {
    std::vector<double> milliseconds;

    template <typename Command>
    auto time(Command command)
    {
        const auto start = std::chrono::steady_clock::now();
        auto outcome = command();
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        return outcome;
    }

    // "12 ran, p50 3.1 ms, p99 40.2 ms, max 51.0 ms"
    std::string summary()
    {
        if (milliseconds.empty())
            return "none ran";
        std::sort(milliseconds.begin(), milliseconds.end());
        const auto at = [&](double share) {
            return milliseconds[std::min(milliseconds.size() - 1, static_cast<std::size_t>(share * milliseconds.size()))];
        };
        char text[128];
        std::snprintf(text, sizeof text, "%zu ran, p50 %.1f ms, p99 %.1f ms, max %.1f ms", milliseconds.size(), at(0.5),
                      at(0.99), milliseconds.back());
        return text;
    }
};

// Lines of the device log that contain `text`.
unsigned long logLinesWith(const fs::path& device, const std::string& text)
{
    std::istringstream log(handset::testing::slurp(device / "log" / "device.log"));
    unsigned long count = 0;
    for (std::string line; std::getline(log, line);)
        count += line.find(text) != std::string::npos;
    return count;
}

using LoadTest = BootedDevice;

TEST_F(LoadTest, ProcessesHammeringOneDeviceLoseNothingAndTearNothing)
{
    const auto seconds = std::chrono::seconds(fromEnvironment("TONQUIL_LOAD_SECONDS", 30));
    const fs::path work = scratch_.root() / "load";
    fs::create_directories(work);
    const fs::path stopReset = work / "stop-reset", stop = work / "stop";
    const std::string device = phone().string();

    // Resident programs that are restarted during the load would hide a crash.
    const auto residentsBefore = residents();
    ASSERT_GE(residentsBefore.size(), 3u);

    // The writers own their profiles, so that each one's last record is the
    // one the device must hold; the reset and the readers cover every profile.
    std::vector<Worker> workers;
    auto start = [&](const std::string& name, std::vector<std::string> tail, const fs::path& stopFile) {
        std::vector<std::string> argv{LOAD_WRITER_BIN, device};
        argv.insert(argv.end(), tail.begin(), tail.end());
        argv.insert(argv.begin() + 4, stopFile.string());  // after the mode and the writer
        workers.push_back(startWorker(name, argv, work));
        ASSERT_GT(workers.back().pid, 0) << name;
    };
    start("profiles1", {"profiles", "1", "1", "2", "-1"}, stop);
    start("profiles2", {"profiles", "2", "3", "4"}, stop);
    start("selector1", {"selector", "1"}, stop);
    start("selector2", {"selector", "2"}, stop);
    start("reset", {"reset", "0"}, stopReset);
    start("reader1", {"reader", "1"}, stop);
    start("reader2", {"reader", "2"}, stop);

    // The command line at the same time: calls, messages, the Today screen's
    // text and registry writes, each lane on a thread of its own.
    std::atomic<bool> done{false};
    std::atomic<unsigned long> calls{0}, messages{0}, todayReads{0}, regSets{0};
    Latencies callTimes, messageTimes, todayTimes;
    std::vector<std::string> failures[4];
    std::vector<std::thread> lanes;
    lanes.emplace_back([&] {
        for (unsigned long n = 0; !done; ++n) {
            const Outcome run =
                callTimes.time([&] { return handset({"call", "555" + std::to_string(1000 + n % 9000)}, "call"); });
            if (run.status != 0 || run.out.find("sound=") == std::string::npos)
                failures[0].push_back("call: " + std::to_string(run.status) + " " + run.out + run.err);
            ++calls;
        }
    });
    lanes.emplace_back([&] {
        for (unsigned long n = 0; !done; ++n) {
            const Outcome run = messageTimes.time([&] {
                return handset({"sms", "--from", "+1555" + std::to_string(2000 + n % 8000), "--text", "load"}, "sms");
            });
            if (run.status != 0)
                failures[1].push_back("sms: " + std::to_string(run.status) + " " + run.out + run.err);
            ++messages;
        }
    });
    lanes.emplace_back([&] {
        while (!done) {
            const Outcome run = todayTimes.time([&] { return handset({"today", "text"}, "today"); });
            if (run.status != 0 || run.out.rfind("Tonquil profile: ", 0) != 0)
                failures[2].push_back("today text: " + std::to_string(run.status) + " " + run.out + run.err);
            ++todayReads;
        }
    });
    lanes.emplace_back([&] {
        for (unsigned long n = 0; !done; ++n) {
            const Outcome run =
                handset({"reg", "set", "HKCU\\LoadTest", "cli" + std::to_string(n), "dword", std::to_string(n)}, "reg");
            if (run.status != 0)
                failures[3].push_back("reg set: " + std::to_string(run.status) + " " + run.err);
            ++regSets;
        }
    });

    std::this_thread::sleep_for(seconds);
    // The reset stops first, so that the writers' last records come after it.
    touch(stopReset);
    const auto resetCounts = finish(workers[4]);
    touch(stop);
    done = true;
    for (std::thread& lane : lanes)
        lane.join();
    std::map<std::string, std::map<std::string, unsigned long>> counts;
    for (std::size_t i = 0; i < workers.size(); ++i)
        counts[workers[i].name] = i == 4 ? resetCounts : finish(workers[i]);

    // A profile record is written and read in one transaction, and a reset
    // is one too: no reader sees a mix of two writes, and no write fails
    // because a reset deleted the key under it.
    for (const char* reader : {"reader1", "reader2"})
        EXPECT_EQ(0u, counts[reader]["records_mixed"]) << reader;
    for (const char* writer : {"profiles1", "profiles2"})
        EXPECT_EQ(0u, counts[writer]["profile_write_failures"]) << writer;
    for (const auto& lane : failures)
        for (const std::string& failure : lane)
            ADD_FAILURE() << failure;

    // Every acknowledged write is there: each writer's last record, one of
    // the selector writers' last values, every `handset reg set`.
    for (auto [writer, indices] : std::vector<std::pair<int, std::vector<int>>>{{1, {1, 2, -1}}, {2, {3, 4}}}) {
        const unsigned long last = counts["profiles" + std::to_string(writer)]["last_round"];
        for (int index : indices) {
            SCOPED_TRACE("profile " + std::to_string(index));
            settings::ProfileRecord record;
            ASSERT_TRUE(index < 0 ? settings::readVipProfile(record) : settings::readProfile(index, record));
            settings::ProfileRecord expected = stampedRecord(index, writer, static_cast<std::uint32_t>(last));
            if (index < 0)
                expected.index = record.index;  // the VIP record has no index of its own
            EXPECT_EQ(expected, record);
        }
    }
    const std::int32_t selector = settings::readCurrentProfile();
    EXPECT_TRUE(selector + 1 == static_cast<std::int32_t>(counts["selector1"]["last_selector"]) ||
                selector + 1 == static_cast<std::int32_t>(counts["selector2"]["last_selector"]))
        << selector;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"LoadTest", 0, KEY_READ, &key));
    unsigned long missing = 0;
    for (unsigned long n = 0; n < regSets; ++n) {
        const std::string name = "cli" + std::to_string(n);
        const std::u16string wide(name.begin(), name.end());
        DWORD value = 0xdeadbeef, size = sizeof value, type = 0;
        if (RegQueryValueEx(key, wide.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || value != n)
            ++missing;
    }
    RegCloseKey(key);
    EXPECT_EQ(0u, missing) << "acknowledged `handset reg set` writes not found";

    // No resident died under the load, and the stores are sound.
    EXPECT_EQ(residentsBefore, residents());
    EXPECT_TRUE(handset::lifecycle::restartRecords().empty());
    handset({"shutdown"});
    const std::string registry = integrityOf(phone() / "registry.db");
    const std::string contacts = integrityOf(phone() / "pim.vol");
    EXPECT_EQ("ok", registry);
    EXPECT_EQ("ok", contacts);

    // What a user of the phone would have felt, for the record: the figures
    // depend on the machine, so they are reported, not judged.
    std::printf("load for %lld s: %lu calls, %lu messages, %lu Today screen reads, %lu `handset reg set`\n",
                static_cast<long long>(seconds.count()), calls.load(), messages.load(), todayReads.load(),
                regSets.load());
    std::printf("  calls (`handset call`): %s\n", callTimes.summary().c_str());
    std::printf("  text messages (`handset sms`): %s\n", messageTimes.summary().c_str());
    std::printf("  Today screen reads (`handset today text`): %s\n", todayTimes.summary().c_str());
    std::printf("  line callbacks past the 2 s bound: %lu\n",
                logLinesWith(phone(), " did not return from its callback within "));
    for (const auto& [name, values] : counts) {
        std::printf("  %s:", name.c_str());
        for (const auto& [what, n] : values)
            std::printf(" %s=%lu", what.c_str(), n);
        std::printf("\n");
    }
    std::printf("integrity: registry.db %s, pim.vol %s\n", registry.c_str(), contacts.c_str());
}

}  // namespace
