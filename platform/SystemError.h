// Texts for the platform's error numbers, as shown to the user in log lines and messages.
#pragma once

#include <string>

namespace tavrin::platform {

// The C library's message for an errno value, e.g. "No space left on device".
std::string SystemErrorText(int errorNumber);

// SystemErrorText(errno), read at the call.
std::string LastSystemErrorText();

} // namespace tavrin::platform
