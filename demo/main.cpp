// The package's main job on the simulated machine: an application prints the built-in test page (or
// the user's own picture) through the graphics driver on a simulated duplicator; the print file the
// driver wrote is saved under an output folder, with every page read back from it as a bitmap.
#include "print_job.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
void Usage(std::FILE* to)
{
    std::fprintf(
        to,
        "usage: velmo-demo [--model NAME] [--paper A4] [--dpi N] [--halftone METHOD] [--pages N]\n"
        "                  [--image FILE.ppm|FILE.pgm] [--out FOLDER]\n"
        "Prints the built-in test page (or the picture) through the printer driver on a simulated\n"
        "duplicator and saves the print file (.kgl) under FOLDER (default out/), with every page of it\n"
        "read back as a 1-bit BMP of the sheet beside it.\n"
        "METHOD: lineart, dither-a, dither-b (default), dither-c, diffusion, diffusion-4.\n"
        "Models:\n%s",
        demo::ModelList().c_str());
}

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}
} // namespace

int main(int argc, char** argv)
{
    demo::JobOptions options;
    std::string out = "out";
    std::string imagePath;
    std::string method = "dither-b";
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (arg == "--help" || arg == "-h")
        {
            Usage(stdout);
            return 0;
        }
        if (arg != "--model" && arg != "--paper" && arg != "--dpi" && arg != "--halftone" &&
            arg != "--image" && arg != "--out" && arg != "--pages")
        {
            std::fprintf(stderr, "unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
        if (!(v = value()))
        {
            std::fprintf(stderr, "%s needs a value\n", arg.c_str());
            return 2;
        }
        if (arg == "--model")
            options.model = v;
        else if (arg == "--paper")
            options.paper = v;
        else if (arg == "--dpi" || arg == "--pages")
        {
            char* end = nullptr;
            const long n = std::strtol(v, &end, 10);
            if (*end || n < 1 || n > 10000)
            {
                std::fprintf(stderr, "%s: \"%s\" is not a number from 1 to 10000\n", arg.c_str(), v);
                return 2;
            }
            (arg == "--dpi" ? options.dpi : options.pages) = static_cast<int>(n);
        }
        else if (arg == "--halftone")
            method = v;
        else if (arg == "--image")
            imagePath = v;
        else
            out = v;
    }
    bool known = false;
    for (const auto& h : demo::kHalftones)
        if (method == h.name)
            options.halftone = h.method, known = true;
    if (!known)
    {
        std::fprintf(stderr, "unknown halftone method \"%s\"\n", method.c_str());
        Usage(stderr);
        return 2;
    }

    std::optional<demo::Image> image;
    if (!imagePath.empty())
    {
        std::vector<std::uint8_t> bytes;
        if (!ReadFile(imagePath, bytes))
        {
            std::fprintf(stderr, "cannot read %s\n", imagePath.c_str());
            return 1;
        }
        std::string error;
        image = demo::ReadPnm(bytes, error);
        if (!image)
        {
            std::fprintf(stderr, "%s: %s\n", imagePath.c_str(), error.c_str());
            return 1;
        }
        options.image = &*image;
    }

    const demo::JobResult result = demo::RunJob(options);
    if (!result.error.empty())
    {
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return 1;
    }
    const std::string stem = image ? std::filesystem::path(imagePath).stem().string() : "testpage";
    const demo::SavedJob saved = demo::SaveJob(result.stream, out, stem + "-" + method);
    if (!saved.error.empty())
    {
        std::fprintf(stderr, "%s\n", saved.error.c_str());
        return 1;
    }
    std::printf("Printed %s on a simulated %s: %s paper, %d dpi, %s, %ld x %ld pixels drawn%s.\n",
                image ? imagePath.c_str() : "the test page", options.model.c_str(), options.paper.c_str(),
                result.dpi, method.c_str(), static_cast<long>(result.drawn.cx),
                static_cast<long>(result.drawn.cy), result.banded ? " in bands" : "");
    std::printf("Print file: %s (%zu bytes)\n",
                std::filesystem::absolute(saved.printFile).lexically_normal().string().c_str(),
                result.stream.size());
    std::printf("Page bitmaps, as the print file reader sees each sheet:\n");
    for (const auto& bmp : saved.bitmaps)
        std::printf("  %s\n", std::filesystem::absolute(bmp).lexically_normal().string().c_str());
    return 0;
}
