// A fuzz target's entry driven without libFuzzer: every seed file of the folders (or files) named on the
// command line goes through LLVMFuzzerTestOneInput once, so a seed that crashes or trips a sanitizer
// fails an ordinary test run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> seeds;
    for (int i = 1; i < argc; ++i)
    {
        const fs::path arg = argv[i];
        if (!fs::is_directory(arg))
            seeds.push_back(arg);
        else
            for (const fs::directory_entry& e : fs::directory_iterator(arg))
                if (e.is_regular_file())
                    seeds.push_back(e.path());
    }
    std::sort(seeds.begin(), seeds.end());
    if (seeds.empty())
    {
        std::fprintf(stderr, "no seed files\n");
        return 1;
    }
    for (const fs::path& seed : seeds)
    {
        std::ifstream in(seed, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                              std::istreambuf_iterator<char>()};
        if (!in.good() && !in.eof())
        {
            std::fprintf(stderr, "cannot read %s\n", seed.c_str());
            return 1;
        }
        static const std::uint8_t kNone = 0; // libFuzzer never passes a null pointer, not even for no bytes
        LLVMFuzzerTestOneInput(bytes.empty() ? &kNone : bytes.data(), bytes.size());
    }
    std::printf("%zu seed files replayed\n", seeds.size());
    return 0;
}
