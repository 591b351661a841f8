#include "zip/ZipResult.h"

#include <gtest/gtest.h>
#include <string>

using namespace tavrin::zip;

TEST(ZipResultText, EachCodeHasItsValueAndText)
{
    const struct {
        ZipResult code;
        std::uint32_t value;
        const char* text;
    } cases[] = {
        {ZipOk, 0x00000000, "Success"},
        {ZipDuplicateFailed, 0x00000100, "Culdn't duplicate handle"},
        {ZipOpenFailed, 0x00000200, "Couldn't create/open file"},
        {ZipNoMemory, 0x00000300, "Failed to allocate memory"},
        {ZipWriteFailed, 0x00000400, "Error writing to file"},
        {ZipReadFailed, 0x00000500, "Error reading from file"},
        {ZipBadArguments, 0x00010000, "Caller: faulty arguments"},
        {ZipMemoryTooSmall, 0x00030000, "Caller: not enough space allocated for memory zipfile"},
        {ZipWrongHandleKind, 0x00080000, "Caller: mixing creation and opening of zip"},
        {ZipTooLarge, 0x00100000, "Member too large: it passed 4 GiB without a ZIP64 header"},
        {ZipMethodChanged, 0x04000000, "Zip-bug: tried to change mind, but not allowed"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<std::uint32_t>(c.code), c.value) << c.text;
        EXPECT_STREQ(ZipResultText(c.code), c.text);
    }
    EXPECT_STREQ(ZipResultText(static_cast<ZipResult>(0x12345)), "Unknown zip error");
}
