// Runs a fuzz target over every file of its corpus folders, so that each seed and each past finding
// is a regression test in a build without libFuzzer. A crash, a sanitizer report or an abort from
// the target's own checks fails the run; so does a corpus with no files, which would test nothing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char **argv)
{
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!std::filesystem::is_directory(argv[i])) {
            inputs.emplace_back(argv[i]);
            continue;
        }
        for (const auto &entry : std::filesystem::recursive_directory_iterator(argv[i])) {
            if (entry.is_regular_file()) {
                inputs.push_back(entry.path());
            }
        }
    }
    std::sort(inputs.begin(), inputs.end()); // the same order on every run
    if (inputs.empty()) {
        return std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE...\n", argv[0]), 1;
    }
    for (const auto &path : inputs) {
        // A visible line per input first, so that a crash or a file it cannot read is named.
        std::fprintf(stderr, "%s\n", path.string().c_str());
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            return 1;
        }
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
