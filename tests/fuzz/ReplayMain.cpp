// Runs a harness without libFuzzer: every file named on the command line, and every file of
// every directory named there, goes once through LLVMFuzzerTestOneInput, in name order.
// Under the sanitizer build this replays the committed corpora in every test run; it also
// reproduces a finding with the normal compiler (build/tests/fuzz/fuzz_TARGET_replay FILE).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-DIRECTORY|FILE...\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        std::error_code error;
        if (fs::is_directory(arg, error)) {
            for (const auto& entry : fs::directory_iterator(arg))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else if (fs::is_regular_file(arg, error)) {
            files.push_back(arg);
        } else {
            std::fprintf(stderr, "%s: no such file or directory\n", argv[i]);
            return 2;
        }
    }
    // An empty corpus would pass without testing anything: a misnamed directory must fail.
    if (files.empty()) {
        std::fprintf(stderr, "no input files\n");
        return 2;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        // Exactly the input's size (a vector made to a size holds no spare room), so that
        // the address sanitizer sees any read past its end, as under libFuzzer.
        std::error_code error;
        const auto size = fs::file_size(file, error);
        std::vector<std::uint8_t> data(error ? 0 : size);
        std::ifstream in(file, std::ios::binary);
        if (error || !in.read(reinterpret_cast<char*>(data.data()),
                              static_cast<std::streamsize>(data.size()))) {
            std::fprintf(stderr, "%s: cannot be read\n", file.c_str());
            return 2;
        }
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
