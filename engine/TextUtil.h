// Small text helpers of the engine.
#pragma once

#include <string>

namespace tavrin {

// Member names are raw bytes, one character per byte; this gives their UTF-8 spelling
// for log lines and reports.
std::string Latin1ToUtf8(const std::string& bytes);

// A name or path for a log line or a terminal: UTF-8 text as it stands, but control
// characters (C0, DEL and C1) and bytes that are no UTF-8 written as \xNN, so a hostile
// name can neither break a log line in two nor send escape sequences to the terminal
// that shows it, and a UTF-8 name is not spelled twice over.
std::string PrintableName(const std::string& bytes);

} // namespace tavrin
