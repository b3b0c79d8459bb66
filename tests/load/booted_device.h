// A temporary device with Tonquil installed and booted, driven through the
// `handset` command as a user or a script drives it; shared by the load and
// soak tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <handset/device.h>
#include <handset/lifecycle.h>
#include <sqlite3.h>

#include "run_program.h"
#include "test_device.h"

namespace load {

namespace fs = std::filesystem;
using handset::testing::Outcome;

// A number from the environment, for the longer runs made by hand.
inline unsigned long fromEnvironment(const char* name, unsigned long fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    return std::strtoul(text, nullptr, 10);
}

// What PRAGMA integrity_check says of a database file ("ok" when sound).
inline std::string integrityOf(const fs::path& db)
{
    sqlite3* connection = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(db.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        result.clear();
        sqlite3_exec(
            connection, "PRAGMA integrity_check",
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) += values[0] ? values[0] : "";
                return 0;
            },
            &result, nullptr);
    }
    sqlite3_close(connection);
    return result;
}

class BootedDevice : public ::testing::Test {
protected:
    fs::path phone() const { return scratch_.root() / "phone"; }

    void SetUp() override
    {
        ::setenv("HANDSET_AUDIO", "none", 1);
        const Outcome init = handset({"init"});
        ASSERT_EQ(0, init.status) << init.err;
        handset::setDeviceRoot(phone());
        const Outcome install = handset({"install", "--answer", "cancel"});
        ASSERT_EQ(0, install.status) << install.out << install.err;
        const Outcome boot = handset({"boot"});
        ASSERT_EQ(0, boot.status) << boot.err;
    }
    void TearDown() override
    {
        handset({"shutdown"});
        ::unsetenv("HANDSET_AUDIO");
    }

    // Runs the command on the device; `lane` keeps the captured output of
    // commands run at the same time apart.
    Outcome handset(std::vector<std::string> arguments, const std::string& lane = "main")
    {
        const fs::path scratch = scratch_.root() / "lanes" / lane;
        fs::create_directories(scratch);
        arguments.insert(arguments.begin(), {HANDSET_BIN, "--device", phone().string()});
        return handset::testing::runProgram(std::move(arguments), scratch);
    }

    // The resident programs that run now.
    std::vector<handset::lifecycle::RunningProgram> residents() const
    {
        std::vector<handset::lifecycle::RunningProgram> found;
        for (const auto& program : handset::lifecycle::runningPrograms())
            if (program.resident)
                found.push_back(program);
        return found;
    }

    handset::testing::TempDevice scratch_;
};

}  // namespace load
