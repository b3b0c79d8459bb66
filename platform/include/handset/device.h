// The device: one folder on disk that holds one simulated phone.
//
//   registry.db     the registry (three roots)
//   pim.vol         the contacts volume
//   fs/             the phone's file system ("\Windows", "\My Documents", ...)
//   run/            sockets and process ids of the running device
//   log/device.log  everything the device and its programs report
//   clock           the device clock's offset from the host's clock
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace handset {

// The folder of the device this process belongs to: the one given to
// setDeviceRoot, else $HANDSET_DEVICE, else
// ${XDG_DATA_HOME:-$HOME/.local/share}/handset/default.
std::filesystem::path deviceRoot();

// The default device folder, ignoring any device chosen for this process.
std::filesystem::path defaultDeviceRoot();

// Chooses the device for this process (and, through $HANDSET_DEVICE, for the
// programs it starts). Call it before the first registry or log access.
void setDeviceRoot(const std::filesystem::path& root);

// Where the phone's file system of the device lives.
std::filesystem::path deviceFileSystem();

// Maps a device path ("\My Documents\My Ringtones\Bell.wav") into the
// device's file system. Components are matched case-insensitively against
// what exists; missing ones keep the spelling given. Returns nothing for a
// path that is not absolute or that would leave the device's file system
// ("..", a link pointing outside).
std::optional<std::filesystem::path> mapDevicePath(std::u16string_view devicePath);

}  // namespace handset
