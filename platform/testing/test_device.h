// Test helpers shared by every folder's tests.
#pragma once

#include <filesystem>

#include <gtest/gtest.h>

namespace handset::testing {

// A fresh, empty device in a temporary folder, chosen for this process for as
// long as the object lives. It has the device's folders but no registry
// content: tests set up what they read.
class TempDevice {
public:
    TempDevice();
    ~TempDevice();
    TempDevice(const TempDevice&) = delete;
    TempDevice& operator=(const TempDevice&) = delete;

    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
};

// A test fixture whose every test runs on its own fresh device.
class DeviceTest : public ::testing::Test {
protected:
    TempDevice device_;
};

}  // namespace handset::testing
