// `handset install` and `handset uninstall` as users type them: what they
// refuse and what they say. The whole way with the Tonquil package is in
// package/tests.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "run_program.h"
#include "test_device.h"

namespace {

namespace fs = std::filesystem;
using handset::testing::Outcome;

class InstallCommand : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, handset({"init"}).status); }

    Outcome handset(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {HANDSET_BIN, "--device", (scratch_.root() / "phone").string()});
        return handset::testing::runProgram(std::move(arguments), scratch_.root());
    }

    handset::testing::TempDevice scratch_;
};

TEST_F(InstallCommand, RefusesWhatItCannotInstallAndSaysWhy)
{
    const Outcome badAnswer = handset({"install", "--answer", "maybe"});
    EXPECT_EQ(2, badAnswer.status);

    const fs::path nowhere = scratch_.root() / "no-package";
    const Outcome missing = handset({"install", nowhere.string()});
    EXPECT_EQ(1, missing.status);
    EXPECT_EQ("handset: reading the package failed: there is no package at " + nowhere.string() +
                  "; the device is as it was\n",
              missing.err);

    fs::create_directories(nowhere);
    const Outcome empty = handset({"install", nowhere.string()});
    EXPECT_EQ(1, empty.status);
    EXPECT_EQ("handset: reading the package failed: there is no package document " + (nowhere / "_setup.xml").string() +
                  "; the device is as it was\n",
              empty.err);

    std::ofstream(nowhere / "_setup.xml") << "<wap-provisioningdoc>\n<characteristic type=\"Install\"/>\n";
    const Outcome broken = handset({"install", (nowhere / "_setup.xml").string()});
    EXPECT_EQ(1, broken.status);
    EXPECT_NE(std::string::npos, broken.err.find("_setup.xml:")) << broken.err;

    const Outcome uninstall = handset({"uninstall"});
    EXPECT_EQ(1, uninstall.status);
    EXPECT_EQ("handset: finding the package failed: Tonquil is not installed; the device is as it was\n",
              uninstall.err);
}

}  // namespace
