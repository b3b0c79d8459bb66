// `handset files`: copies onto and from the device whole, never outside its
// file system, and never over a file without --force.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "run_program.h"
#include "test_device.h"

namespace {

namespace fs = std::filesystem;
using handset::testing::Outcome;
using handset::testing::slurp;

class FilesCommand : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, handset({"init"}).status); }

    fs::path phone() const { return scratch_.root() / "phone"; }

    Outcome handset(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {HANDSET_BIN, "--device", phone().string()});
        return handset::testing::runProgram(std::move(arguments), scratch_.root());
    }

    // A file of bytes of every value, the line ends and NULs among them.
    fs::path hostFile(const std::string& name, std::size_t size, unsigned seed)
    {
        const fs::path file = scratch_.root() / name;
        std::mt19937 random(seed);
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() & 0xFF);
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }

    handset::testing::TempDevice scratch_;
};

TEST_F(FilesCommand, PutListAndGetRoundTripAFileByteForByte)
{
    const fs::path bell = hostFile("bell.mp3", 300 * 1024 + 7, 1);
    const std::string target = "\\My Documents\\My Ringtones\\Bell.mp3";
    Outcome run = handset({"files", "put", bell.string(), target});
    ASSERT_EQ(0, run.status) << run.err;

    // Folders match case-insensitively, as on the phone.
    run = handset({"files", "ls", "\\my documents\\MY RINGTONES"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("      307207  Bell.mp3\n")) << run.out;

    const fs::path back = scratch_.root() / "back.mp3";
    run = handset({"files", "get", target, back.string()});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(slurp(bell), slurp(back));

    // Nothing but the file itself is left beside it.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(phone() / "fs" / "My Documents" / "My Ringtones"))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"Bell.mp3"}, names);

    run = handset({"files", "rm", target});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(1, handset({"files", "ls", target}).status);
}

TEST_F(FilesCommand, AnExistingFileIsReplacedOnlyWithForce)
{
    const fs::path first = hostFile("first.wav", 1000, 2);
    const fs::path second = hostFile("second.wav", 2000, 3);
    ASSERT_EQ(0, handset({"files", "put", first.string(), "\\Windows\\Tone.wav"}).status);

    // Into a folder, under the source's name; over a name of another case.
    Outcome run = handset({"files", "put", second.string(), "\\windows\\tone.WAV"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("handset: \\windows\\tone.WAV exists on the device; give --force to replace it\n", run.err);
    EXPECT_EQ(slurp(first), slurp(phone() / "fs" / "Windows" / "Tone.wav"));
    run = handset({"files", "put", "--force", second.string(), "\\windows\\tone.WAV"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(slurp(second), slurp(phone() / "fs" / "Windows" / "Tone.wav"));

    run = handset({"files", "get", "\\Windows\\Tone.wav", first.string()});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("exists; give --force")) << run.err;
    EXPECT_EQ(1000u, fs::file_size(first));
    ASSERT_EQ(0, handset({"files", "get", "--force", "\\Windows\\Tone.wav", first.string()}).status);
    EXPECT_EQ(slurp(second), slurp(first));
}

TEST_F(FilesCommand, PathsOutsideTheDevicesFileSystemAreRefused)
{
    const fs::path file = hostFile("x", 10, 4);
    // A link inside the device that leads out of it counts as outside too.
    fs::create_directory_symlink(scratch_.root(), phone() / "fs" / "My Documents" / "out");
    for (const std::string path : {"\\..\\x", "\\Windows\\..\\..\\x", "\\My Documents\\out\\x"}) {
        SCOPED_TRACE(path);
        const Outcome run = handset({"files", "put", file.string(), path});
        EXPECT_EQ(1, run.status);
        EXPECT_EQ("handset: the device path " + path + " leads outside the device's file system\n", run.err);
        EXPECT_EQ(1, handset({"files", "get", path, (scratch_.root() / "y").string()}).status);
        EXPECT_EQ(1, handset({"files", "rm", path}).status);
    }
    EXPECT_FALSE(fs::exists(phone() / "x"));
    EXPECT_FALSE(fs::exists(scratch_.root() / "y"));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(1, handset({"files", "put", file.string(), "relative\\x"}).status);
    EXPECT_EQ(1, handset({"files", "rm", "\\"}).status);
}

}  // namespace
