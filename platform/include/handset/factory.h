// Making a new device: the phone as it leaves the factory.
#pragma once

#include <filesystem>
#include <string>

namespace handset {

// Whether `root` holds a device (it has a registry).
bool isDevice(const std::filesystem::path& root);

enum class ReplaceExisting { No, Yes };

struct [[nodiscard]] CreateDeviceResult {
    enum class Failure {
        None,
        DeviceExists,  // there is a device and it was not to be replaced
        Files,         // a folder could not be made or the old device removed
        Registry,      // the factory registry could not be written
    };

    Failure failure = Failure::None;
    std::string message;  // for the user, when failure is not None

    bool ok() const { return failure == Failure::None; }
};

// Creates a device at `root`: its folders (fs/Windows, fs/My Documents,
// fs/Program Files, run, log) and a registry holding the phone's factory
// settings, written in one batch. Makes `root` this process's device.
// Refuses when `root` already holds a device, unless ReplaceExisting::Yes,
// which first removes everything in `root`. When the registry cannot be
// written, no registry is left behind, so `root` does not pass for a device.
CreateDeviceResult createDevice(const std::filesystem::path& root, ReplaceExisting replace);

}  // namespace handset
