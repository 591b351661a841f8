// The entry point every harness defines. libFuzzer calls it with generated inputs;
// the replay program (ReplayMain.cpp) calls it with the files of a saved corpus.
// A harness returns 0 and ends the process through FuzzFailure when an invariant breaks.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace tavrin::fuzz {

// Prints what broke and aborts, so both libFuzzer and CTest see a failure.
[[noreturn]] void FuzzFailure(const char* what, const char* detail = nullptr);

} // namespace tavrin::fuzz
