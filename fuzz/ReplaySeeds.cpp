// Runs a fuzz target's entry point once over each seed input, without libFuzzer: so the seeds are checked
// by CTest with the ordinary compiler, and a seed that fails names itself before the target aborts.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream file(entry.path(), std::ios::binary);
            const std::vector<char> bytes { std::istreambuf_iterator<char>(file), {} };
            std::fprintf(stderr, "%s\n", entry.path().c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++inputs;
        }
    }
    std::printf("%d seed inputs ran\n", inputs);
    // No seed at all means the folder was wrong, not that every seed passed.
    return inputs > 0 ? 0 : 1;
}
