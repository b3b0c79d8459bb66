// Every storage step of a registry call can fail; the call must then report
// the failure and leave the registry exactly as it was.
#include <handset/faults.h>
#include <handset/registry.h>
#include <handset/registry_batch.h>
#include <handset/wstring.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "test_device.h"

namespace {

using handset::faults::Fault;
using handset::faults::Store;

// Everything below `key`, as text, through the API itself.
std::string dump(HKEY key, const std::string& indent = "")
{
    std::string out;
    WCHAR name[256];
    BYTE data[512];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 256, type = 0, cb = sizeof data;
        if (RegEnumValue(key, i, name, &cch, nullptr, &type, data, &cb) != ERROR_SUCCESS)
            break;
        out += indent + handset::toUtf8(std::u16string(name, cch)) + "=" + std::to_string(type) + ":" +
               std::string(reinterpret_cast<char*>(data), cb) + "\n";
    }
    for (DWORD i = 0;; ++i) {
        DWORD cch = 256;
        if (RegEnumKeyEx(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY sub = nullptr;
        if (RegOpenKeyEx(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS)
            break;
        out += indent + "[" + handset::toUtf8(std::u16string(name, cch)) + "]\n" + dump(sub, indent + "  ");
        RegCloseKey(sub);
    }
    return out;
}

void seed()
{
    HKEY key = nullptr;
    RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles\\0", 0, nullptr, 0, 0, nullptr, &key,
                   nullptr);
    const DWORD three = 3;
    RegSetValueEx(key, u"callVolume", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&three), 4);
    RegCloseKey(key);
}

LONG writeDword(const char16_t* path, const char16_t* name, DWORD value)
{
    HKEY key = nullptr;
    LONG rc = RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, 0, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
    return rc;
}

struct Operation {
    const char* name;
    std::function<LONG()> run;
};

const Operation kOperations[] = {
    {"create a deep new key",
     [] {
         HKEY key = nullptr;
         const LONG rc = RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\System\\KnownCaller", 0,
                                        nullptr, 0, 0, nullptr, &key, nullptr);
         RegCloseKey(key);
         return rc;
     }},
    {"set a value", [] { return writeDword(u"Software\\Quorrel\\Tonquil\\Profiles\\0", u"callVolume", 5); }},
    {"delete a value",
     [] {
         HKEY key = nullptr;
         LONG rc = RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles\\0", 0, 0, &key);
         if (rc == ERROR_SUCCESS)
             rc = RegDeleteValue(key, u"callVolume");
         RegCloseKey(key);
         return rc;
     }},
    {"delete a tree", [] { return RegDeleteKey(HKEY_CURRENT_USER, u"Software\\Quorrel"); }},
    {"a batch of writes",
     [] {
         return handset::RegApplyBatch([] {
             LONG rc = writeDword(u"Software\\Quorrel\\Tonquil\\Profiles\\1", u"callVolume", 1);
             if (rc == ERROR_SUCCESS)
                 rc = writeDword(u"Software\\Quorrel\\Tonquil\\Profiles\\2", u"callVolume", 0);
             return rc;
         });
     }},
};

TEST(RegistryFaultTest, EveryFailedStepLeavesTheRegistryAsItWas)
{
    int injected = 0;
    for (const Operation& op : kOperations) {
        SCOPED_TRACE(op.name);
        int steps = 0;
        {
            handset::testing::TempDevice device;
            seed();
            handset::faults::failStep(Store::Registry, 0, Fault::IoError);
            ASSERT_EQ(ERROR_SUCCESS, op.run());
            steps = handset::faults::stepsTaken(Store::Registry);
        }
        ASSERT_GT(steps, 0);
        for (int step = 1; step <= steps; ++step) {
            SCOPED_TRACE(step);
            handset::testing::TempDevice device;
            seed();
            const std::string before = dump(HKEY_CURRENT_USER);
            handset::faults::failStep(Store::Registry, step, Fault::IoError);
            EXPECT_EQ(ERROR_REGISTRY_IO_FAILED, op.run());
            handset::faults::failStep(Store::Registry, 0, Fault::IoError);
            EXPECT_EQ(before, dump(HKEY_CURRENT_USER));
            ++injected;
        }
    }
    // Each operation takes a handful of steps; all of them were tried.
    EXPECT_GE(injected, 15);
    RecordProperty("faults_injected", injected);
}

TEST(RegistryFaultTest, EachKindOfFailureHasItsCode)
{
    const std::pair<Fault, LONG> kinds[] = {
        {Fault::Busy, ERROR_BUSY}, {Fault::IoError, ERROR_REGISTRY_IO_FAILED}, {Fault::DiskFull, ERROR_DISK_FULL}};
    for (const auto& [fault, code] : kinds) {
        SCOPED_TRACE(code);
        handset::testing::TempDevice device;
        seed();
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles\\0", 0, 0, &key));
        // The first step of a value write is the write itself.
        handset::faults::failStep(Store::Registry, 1, fault);
        const DWORD value = 1;
        EXPECT_EQ(code, RegSetValueEx(key, u"callVolume", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
        DWORD stored = 0, cb = 4;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegQueryValueEx(key, u"callVolume", nullptr, nullptr, reinterpret_cast<BYTE*>(&stored), &cb));
        EXPECT_EQ(3u, stored);
        RegCloseKey(key);
    }
    handset::faults::failStep(Store::Registry, 0, Fault::IoError);
}

TEST(RegistryFaultTest, ARegistryThatCannotBeOpenedFailsTheCallThatNeededIt)
{
    handset::testing::TempDevice first;
    seed();
    // Moving to another device reopens the registry; that step fails.
    handset::testing::TempDevice second;
    handset::faults::failStep(Store::Registry, 1, Fault::DiskFull);
    EXPECT_EQ(ERROR_DISK_FULL, writeDword(u"Software\\Quorrel\\Tonquil", u"n", 1));
    EXPECT_EQ("", dump(HKEY_CURRENT_USER));
    EXPECT_EQ(ERROR_SUCCESS, writeDword(u"Software\\Quorrel\\Tonquil", u"n", 1));
}

TEST(RegistryFaultTest, AFailedReadLeavesTheCallersBuffersAlone)
{
    handset::testing::TempDevice device;
    seed();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles\\0", 0, 0, &key));
    handset::faults::failStep(Store::Registry, 0, Fault::IoError);
    DWORD value = 0, type = 0, cb = 4;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, u"callVolume", nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb));
    const int steps = handset::faults::stepsTaken(Store::Registry);
    ASSERT_GT(steps, 0);
    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE(step);
        handset::faults::failStep(Store::Registry, step, Fault::Busy);
        DWORD data = 0xdeadbeef, kind = 0xdeadbeef, size = 4;
        EXPECT_EQ(ERROR_BUSY, RegQueryValueEx(key, u"callVolume", nullptr, &kind, reinterpret_cast<BYTE*>(&data), &size));
        EXPECT_EQ(0xdeadbeefu, data);
        EXPECT_EQ(0xdeadbeefu, kind);
    }
    handset::faults::failStep(Store::Registry, 0, Fault::IoError);
    RegCloseKey(key);
}

TEST(RegistryFaultTest, AFailedFlushIsReportedAndLosesNothing)
{
    handset::testing::TempDevice device;
    seed();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel", 0, 0, &key));
    const std::string before = dump(HKEY_CURRENT_USER);
    handset::faults::failStep(Store::Registry, 1, Fault::IoError);
    EXPECT_EQ(ERROR_REGISTRY_IO_FAILED, RegFlushKey(key));
    handset::faults::failStep(Store::Registry, 0, Fault::IoError);
    EXPECT_EQ(before, dump(HKEY_CURRENT_USER));
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(key));
    RegCloseKey(key);
}

}  // namespace
