// Runs a fuzz target over the files of its corpus folders (or single files), as CI does.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else {
            files.push_back(path);
        }
    }
    double dSlowest = 0;
    std::string slowest;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<char> data((std::istreambuf_iterator<char>(in)), {});
        auto t0 = std::chrono::steady_clock::now();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        double d = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                       .count();
        if (d > dSlowest) {
            dSlowest = d;
            slowest = file.string();
        }
    }
    std::printf("%zu inputs replayed; slowest %.3f ms (%s)\n", files.size(), dSlowest,
                slowest.c_str());
    return files.empty() ? 1 : 0;
}
