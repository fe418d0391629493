// Replays saved inputs through the fuzz entry point in a normal build: each argument is a file
// or a folder of files. Exits non-zero only if a file cannot be read; a crash is the failure.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static bool Replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
                if (entry.is_regular_file()) {
                    if (!Replay(entry.path())) return 2;
                    ++count;
                }
        } else {
            if (!Replay(arg)) return 2;
            ++count;
        }
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
