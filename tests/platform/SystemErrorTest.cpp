#include "platform/SystemError.h"

#include <cerrno>
#include <gtest/gtest.h>

using tavrin::platform::LastSystemErrorText;
using tavrin::platform::SystemErrorText;

TEST(SystemErrorText, GivesTheCLibraryMessageForEachErrorNumber)
{
    const struct {
        int number;
        const char* text;
    } cases[] = {
        {ENOENT, "No such file or directory"},
        {EEXIST, "File exists"},
        {ENOSPC, "No space left on device"},
        {EACCES, "Permission denied"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SystemErrorText(c.number), c.text) << c.number;
}

TEST(SystemErrorText, NamesAnUnknownNumber)
{
    EXPECT_NE(SystemErrorText(98765).find("98765"), std::string::npos);
}

TEST(SystemErrorText, LastTextReadsErrno)
{
    errno = ENOSPC;
    EXPECT_EQ(LastSystemErrorText(), "No space left on device");
}
