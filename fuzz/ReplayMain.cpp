// The main of a fuzz target in the ordinary build: it runs the target's input function on
// every input it is given, files or folders of them (a folder's files in name order), as a
// libFuzzer run replays its corpus, and the target's own checks stop it (a trap) on a wrong
// result. Used by the ctest tests fuzz_<target>, which replay the target's seeds and the
// inputs kept in fuzz/regressions/<target>/:
//   fuzz_<target> FILE_OR_FOLDER...
// It fails when a folder it is given holds no input, so that seeds that were not written
// make the test fail instead of passing on the kept inputs alone.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// The targets with a mutator of their own hand libFuzzer's mutations the inputs it does not
// change itself; a replay mutates nothing, so nothing calls this.
extern "C" size_t LLVMFuzzerMutate(uint8_t*, size_t, size_t)
{
    std::fputs("LLVMFuzzerMutate called while replaying\n", stderr);
    std::abort();
}

namespace {

bool Replay(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s (%zu bytes)\n", path.c_str(), bytes.size());
    // An allocation of exactly the input's size, as libFuzzer gives it: a read past its end
    // is found by the sanitizers.
    auto* data = static_cast<uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    std::copy(bytes.begin(), bytes.end(), data);
    LLVMFuzzerTestOneInput(data, bytes.size());
    std::free(data);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    size_t replayed = 0;
    for (int k = 1; k < argc; ++k) {
        const std::filesystem::path input(argv[k]);
        std::error_code error;
        if (!std::filesystem::is_directory(input, error)) {
            if (!Replay(input))
                return 1;
            ++replayed;
            continue;
        }
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(input, error))
            if (entry.is_regular_file(error))
                files.push_back(entry.path());
        if (error) {
            std::fprintf(stderr, "cannot list %s: %s\n", input.c_str(), error.message().c_str());
            return 1;
        }
        if (files.empty()) {
            std::fprintf(stderr, "no input in %s: were the seeds written?\n", input.c_str());
            return 1;
        }
        std::sort(files.begin(), files.end());
        for (const std::filesystem::path& file : files) {
            if (!Replay(file))
                return 1;
            ++replayed;
        }
    }
    std::error_code error;
    std::filesystem::remove_all(vx::fuzz::ScratchFolder(), error);
    std::fprintf(stderr, "%zu inputs replayed\n", replayed);
    if (replayed == 0) {
        std::fputs("no input: were the seeds written?\n", stderr);
        return 1;
    }
    return 0;
}
