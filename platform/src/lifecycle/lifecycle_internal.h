// What the device's supervisor shares with boot and shutdown.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

#include <handset/lifecycle.h>

namespace handset::lifecycle::detail {

// The device's run/ folder.
std::filesystem::path runFolder();

// The process a pid file names, when that very process still runs.
std::optional<pid_t> livePid(const std::filesystem::path& pidFile);

// The process a pid file names, whether or not it still runs.
std::optional<pid_t> recordedPid(const std::filesystem::path& pidFile);

// Starts `program` as boot does and waits until it is ready; its pid, or -1
// with `error` set (a program that was not ready in time is stopped).
pid_t startResident(const ResidentProgram& program, const std::filesystem::path& programs,
                    std::chrono::milliseconds readyTimeout, std::string& error);

// Takes the lock that boot and shutdown hold, without waiting; false when
// one of them holds it. On success `fd` holds the lock until closed.
bool tryLockDevice(int& fd);

}  // namespace handset::lifecycle::detail
