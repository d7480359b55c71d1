#pragma once

// What every harness of tests/fuzz shares. A harness defines LLVMFuzzerTestOneInput; the
// fuzzing build links it with libFuzzer, the test build with ReplayMain.cpp, which feeds it
// every file of its committed corpus.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace korvelt::fuzz {

// The input as text (readers of text files take it byte for byte).
inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A property every input must keep. A broken one aborts, which libFuzzer saves as a crash
// and the replay test reports as a failure.
inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz property broken: %s\n", what);
        std::abort();
    }
}

} // namespace korvelt::fuzz
