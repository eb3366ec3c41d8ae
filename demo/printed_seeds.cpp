// Writes a few small print files, printed through the driver on the simulated machine, as seed files
// for the print file reader's fuzz target: small papers at low resolution, every band order and
// halftone family, so that the seeds stay small.
#include "print_job.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: velmo-printed-seeds FOLDER\n");
        return 2;
    }
    struct Seed
    {
        const char* file;
        const char* model;
        const char* paper;
        demo::Halftone halftone;
        int zoom;
        short orientation;
        bool rotate;
        int pages;
    } seeds[] = {
        {"printed-postcard-lineart.kgl", "KORIGRAPH DX-1300", "Postcard", demo::Halftone::LineArt, 100,
         DMORIENT_PORTRAIT, false, 1},
        {"printed-postcard-turned-dither.kgl", "KORIGRAPH DX-1300", "Postcard", demo::Halftone::DitherA, 50,
         DMORIENT_PORTRAIT, true, 2},
        {"printed-postcard-landscape-diffusion.kgl", "KORIGRAPH DX-1400", "Postcard",
         demo::Halftone::Diffusion, 50, DMORIENT_LANDSCAPE, false, 1},
        {"printed-a5-landscape-turned-360dpi.kgl", "KORIGRAPH DX-5360", "A5", demo::Halftone::DitherC, 50,
         DMORIENT_LANDSCAPE, true, 1},
    };
    const std::filesystem::path folder = argv[1];
    for (const Seed& seed : seeds)
    {
        demo::JobOptions o;
        o.model = seed.model;
        o.paper = seed.paper;
        o.halftone = seed.halftone;
        o.zoom = seed.zoom;
        o.orientation = seed.orientation;
        o.rotate = seed.rotate;
        o.pages = seed.pages;
        const demo::JobResult r = demo::RunJob(o);
        const std::filesystem::path path = folder / seed.file;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(r.stream.data(), static_cast<std::streamsize>(r.stream.size()));
        out.close();
        if (!r.error.empty() || r.stream.empty() || !out)
        {
            std::fprintf(stderr, "%s: %s\n", path.string().c_str(),
                         r.error.empty() ? "not written" : r.error.c_str());
            return 1;
        }
        std::printf("%s (%zu bytes)\n", path.string().c_str(), r.stream.size());
    }
    return 0;
}
