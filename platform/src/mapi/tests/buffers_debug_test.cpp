// MAPI's buffers and the debug output.
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <handset/debug.h>
#include <handset/log.h>
#include <handset/mapi.h>

#include "run_program.h"
#include "test_device.h"

namespace {

TEST(MapiBufferTest, LinkedBlocksGoWithTheirBuffer)
{
    void* buffer = reinterpret_cast<void*>(0xdeadbeef);
    ASSERT_EQ(S_OK, MAPIAllocateBuffer(0, &buffer));
    ASSERT_NE(nullptr, buffer);
    EXPECT_EQ(0u, MAPIFreeBuffer(buffer));

    ASSERT_EQ(S_OK, MAPIAllocateBuffer(24, &buffer));
    EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(buffer) % alignof(std::max_align_t));
    const BYTE zeros[24] = {};
    EXPECT_EQ(0, std::memcmp(zeros, buffer, sizeof zeros));
    void* more = nullptr;
    ASSERT_EQ(S_OK, MAPIAllocateMore(100, buffer, &more));
    std::memset(more, 0xBD, 100);
    // A block hung on a linked block belongs to the same buffer.
    void* deeper = nullptr;
    ASSERT_EQ(S_OK, MAPIAllocateMore(8, more, &deeper));
    EXPECT_NE(more, deeper);
    // Freeing a linked block alone does nothing; the buffer frees them all
    // (the sanitizer build reports anything left).
    EXPECT_EQ(0u, MAPIFreeBuffer(more));
    EXPECT_EQ(0u, MAPIFreeBuffer(buffer));
    EXPECT_EQ(0u, MAPIFreeBuffer(nullptr));

    EXPECT_EQ(MAPI_E_INVALID_PARAMETER, MAPIAllocateBuffer(8, nullptr));
    more = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(MAPI_E_INVALID_PARAMETER, MAPIAllocateMore(8, nullptr, &more));
    EXPECT_EQ(reinterpret_cast<void*>(0xdeadbeef), more);
}

class DebugOutputTest : public handset::testing::DeviceTest {
protected:
    std::string log() const { return handset::testing::slurp(handset::deviceLogPath()); }
};

TEST_F(DebugOutputTest, EachCallIsOneLineOnTheDebugChannel)
{
    OutputDebugString(u"CMailRuleClient reference is now 1\r\n");
    OutputDebugString(u"Factory Reference is now 0\n");
    OutputDebugString(u"no line end");
    OutputDebugString(u"two\r\nlines\r\n");
    OutputDebugString(nullptr);
    OutputDebugString(u"");
    OutputDebugString(u"Gr\u00FC\u00DFe \u20AC\r\n");

    const std::string text = log();
    const char* expected[] = {"] debug: CMailRuleClient reference is now 1\n", "] debug: Factory Reference is now 0\n",
                              "] debug: no line end\n", "] debug: two  lines\n",
                              "] debug: Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC\n"};
    std::size_t at = 0;
    for (const char* line : expected) {
        SCOPED_TRACE(line);
        const std::size_t found = text.find(line, at);
        ASSERT_NE(std::string::npos, found) << text;
        at = found;
    }
    // Nothing for the null and the empty string: five lines in all.
    std::size_t lines = 0;
    for (std::size_t pos = 0; (pos = text.find("] debug: ", pos)) != std::string::npos; ++pos)
        ++lines;
    EXPECT_EQ(5u, lines) << text;
}

}  // namespace
