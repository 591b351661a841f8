// Small text helpers of the engine.
#pragma once

#include <string>

namespace tavrin {

// Member names are raw bytes, one character per byte; this gives their UTF-8 spelling
// for log lines and reports.
std::string Latin1ToUtf8(const std::string& bytes);

} // namespace tavrin
