// Names of the hidden files a program of ours writes beside their final place before
// moving them there, or keeps for a while: ".tavrin-<kind>-<pid>-<n>". Short and fixed
// in form, so a target name near the length limit still has a work name that fits;
// the process id and a counter of the process keep two runs, and two threads of one
// run, apart.
#pragma once

#include <string>

namespace tavrin::platform {

// A new name ".tavrin-<kind>-<pid>-<n>" (no folder), never given before in this process.
std::string WorkFileName(const std::string& kind);

} // namespace tavrin::platform
