// Runs a fuzz target over files or folders of inputs, for builds without
// libFuzzer. Each input is also replayed truncated: at every length, or with
// --max-truncations N at N lengths spread evenly over the file (for targets
// whose single run is costly).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

size_t maxTruncations = 0;  // 0: every length

int RunFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t step = maxTruncations == 0 ? 1 : bytes.size() / maxTruncations + 1;
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    for (size_t n = bytes.size(); n >= step;) {
        n -= step;
        LLVMFuzzerTestOneInput(bytes.data(), n);
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--max-truncations") == 0 && i + 1 < argc) {
            maxTruncations = std::strtoul(argv[++i], nullptr, 10);
            continue;
        }
        std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
                if (entry.is_regular_file()) files += RunFile(entry.path());
        } else {
            files += RunFile(arg);
        }
    }
    std::printf("replayed %d inputs\n", files);
    return files > 0 ? 0 : 1;
}
