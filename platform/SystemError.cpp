#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace tavrin::platform {

namespace {

// strerror_r comes in two shapes (GNU returns the text, XSI fills the buffer and
// returns a status); overloads pick whichever the C library declared.
[[maybe_unused]] const char* TextOf(const char* gnuResult, const char*) { return gnuResult; }
[[maybe_unused]] const char* TextOf(int xsiStatus, const char* buffer) { return xsiStatus == 0 ? buffer : nullptr; }

} // namespace

std::string SystemErrorText(int errorNumber)
{
    char buffer[256] = {};
    const char* text = TextOf(strerror_r(errorNumber, buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0')
        return "Unknown error " + std::to_string(errorNumber);
    return text;
}

std::string LastSystemErrorText()
{
    return SystemErrorText(errno);
}

} // namespace tavrin::platform
