// The demo's print job: the simulated machine with one duplicator, an application printing a page
// (the built-in test page or a user's picture) through the graphics driver, and the stream it wrote.
#pragma once

#include <sim/engine_print.h>
#include <testing/test_page.h>

#include "pnm.h"
#include "settings.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace demo
{

using printtest::DiffusionKernel;
using printtest::DrawTestPage;
using printtest::Halftone;
using printtest::kHalftones;
using printtest::SetHalftone;

struct JobOptions
{
    std::string model = "KORIGRAPH DX-2660";
    std::string paper = "A4";
    int dpi = 0; // 0: the model's own
    Halftone halftone = Halftone::DitherB;
    int pages = 1;
    const Image* image = nullptr; // printed in place of the test page
    int zoom = 100;               // percent
    short orientation = DMORIENT_PORTRAIT;
    bool rotate = false; // the page turned by 180 degrees (or fed turned, in landscape)
};

struct JobResult
{
    std::string error; // empty when the job went through
    std::string stream;
    int dpi = 0;
    SIZEL drawn{}; // the printable area in pixels
    bool banded = false;
};

// Starts from a fresh simulated machine each time.
JobResult RunJob(const JobOptions& options);

// The model names the driver knows, with the dpi each prints at.
std::string ModelList();

// Every page of a print file read back through the print file reader, each as the 1-bit BMP of its
// whole sheet (the file's bytes). Starts from a fresh simulated machine each time.
struct PageBitmaps
{
    std::string error; // empty when every page was rendered
    std::vector<std::string> bitmaps;
};
PageBitmaps RenderPages(const std::string& stream);

// The print file and the bitmaps of its pages, saved under `folder` as <stem>.kgl and
// <stem>-page<N>.bmp.
struct SavedJob
{
    std::string error; // empty when everything was written
    std::filesystem::path printFile;
    std::vector<std::filesystem::path> bitmaps;
};
SavedJob SaveJob(const std::string& stream, const std::filesystem::path& folder, const std::string& stem);

void DrawImage(sim::PrintDC& dc, const Image& image);

} // namespace demo
