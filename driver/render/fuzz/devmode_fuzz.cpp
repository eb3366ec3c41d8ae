// Any bytes as the settings a job meets: an application's DEVMODE, the printer's stored default and its
// "Private DevMode" block, through the checks, the merge and the enabling of a device on them.
//
// Input: a flag byte, the lengths of the job's and the stored DEVMODE (16 bits each, little-endian),
// those two DEVMODEs, then the printer block. A DEVMODE "laid over the defaults" is the driver's own
// default record with the bytes XORed onto it past its identifying fields, so that it passes the checks
// and reaches the merge and the stored-record limits whole.
#include <sim/engine.h>
#include <sim/machine.h>
#include <sim/spooler.h>
#include <testing/duplicator.h>

#include "pdev.h"
#include "settings.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace
{
constexpr const WCHAR* kPrinter = u"Fuzzed Duplicator";
constexpr const WCHAR* kModel = u"KORIGRAPH Driver";

enum : std::uint8_t
{
    kJobDevMode = 0x01,
    kJobOverDefaults = 0x02,
    kStoredDevMode = 0x04,
    kStoredOverDefaults = 0x08,
    kPrinterBlock = 0x10,
};

// What identifies a record of this layout: the name, versions, sizes and the signature.
constexpr size_t kIdentityEnd = offsetof(DEVMODEW, dmFields);
constexpr size_t kSignatureAt = offsetof(velmo::SelfDMode, signature);

std::vector<BYTE> OverDefaults(std::span<const std::uint8_t> bytes)
{
    velmo::SelfDMode defaults;
    velmo::_UdcResetSelfDMode(defaults, kPrinter, kModel);
    std::vector<BYTE> out(velmo::kDevModeSize);
    std::memcpy(out.data(), &defaults, out.size());
    for (size_t i = kIdentityEnd; i < std::min(bytes.size(), out.size()); ++i)
        if (i < kSignatureAt || i >= kSignatureAt + 4)
            out[i] ^= bytes[i];
    return out;
}

// Exactly the bytes the DEVMODE claims, as the engine hands one over; at least its size fields.
std::vector<BYTE> AsClaimed(std::span<const std::uint8_t> bytes)
{
    std::vector<BYTE> out(bytes.begin(), bytes.end());
    out.resize(std::max<size_t>(out.size(), offsetof(DEVMODEW, dmFields)));
    const size_t claimed = size_t{static_cast<WORD>(out[68] | out[69] << 8)} + (out[70] | out[71] << 8);
    out.resize(std::max<size_t>(claimed, offsetof(DEVMODEW, dmFields)));
    return out;
}

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

struct Input
{
    std::uint8_t flags = 0;
    std::span<const std::uint8_t> job;
    std::span<const std::uint8_t> stored;
    std::span<const std::uint8_t> block;
};

bool Split(std::span<const std::uint8_t> data, Input& in)
{
    if (data.size() < 5)
        return false;
    in.flags = data[0];
    const size_t jobSize = data[1] | data[2] << 8;
    const size_t storedSize = data[3] | data[4] << 8;
    data = data.subspan(5);
    in.job = data.first(std::min(jobSize, data.size()));
    data = data.subspan(in.job.size());
    in.stored = data.first(std::min(storedSize, data.size()));
    in.block = data.subspan(in.stored.size());
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in;
    if (!Split(std::span<const std::uint8_t>(data, size), in))
        return 0;

    // One printer, set up afresh from the input; nothing else of the machine is needed.
    std::vector<BYTE> stored;
    if (in.flags & kStoredDevMode)
        stored = in.flags & kStoredOverDefaults ? OverDefaults(in.stored)
                                                : std::vector<BYTE>(in.stored.begin(), in.stored.end());
    printtest::InstallDuplicator(kPrinter, kModel, stored);
    if (in.flags & kPrinterBlock)
        sim::spooler().SetPrinterData(kPrinter, u"Private DevMode", REG_BINARY,
                                     std::vector<BYTE>(in.block.begin(), in.block.end()));
    // A band surface beyond this fails to be made, as on a machine short of memory: every band count
    // is still sized, the smallest pages get their surface, and runs do not spend their time clearing
    // megabytes of bitmap and buffers.
    sim::engine().SetSurfaceLimit(size_t{64} << 10);

    std::vector<BYTE> job;
    if (in.flags & kJobDevMode)
        job = in.flags & kJobOverDefaults ? OverDefaults(in.job) : AsClaimed(in.job);

    // The conversion alone, the way a DEVMODE is handed back to an application.
    HANDLE printer = sim::spooler().OpenPrinter(kPrinter);
    std::vector<BYTE> out(velmo::kSelfDModeSize);
    velmo::CfcConvertSelfDMode(out, job, kPrinter, printer, velmo::kConvertCopy | 0x2000, 0);
    sim::spooler().ClosePrinter(printer);

    // A device on it, as an application's CreateDC would make.
    auto dc =
        sim::engine().CreateDC(kPrinter, job.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(job.data()));
    if (dc)
    {
        const auto& pdev = *reinterpret_cast<const velmoq7::PDev*>(dc->pdev);
        const velmo::SelfDMode& s = *pdev.settings;
        Check(s.zoom >= 50 && s.zoom <= 200);
        Check(s.copies >= 1 && s.copies <= velmo::g_MaxCopies);
        Check(s.maxPaperWidth <= velmo::kLargestPaperSide && s.maxPaperHeight <= velmo::kLargestPaperSide);
        for (const velmo::UserPaper& p : s.userPapers)
            Check(p.width >= s.minPaperWidth && p.width <= s.maxPaperWidth && p.height >= s.minPaperHeight &&
                  p.height <= s.maxPaperHeight);
        Check(pdev.page.printableWidthPx > 0 && pdev.page.printableHeightPx > 0);
        sim::engine().DeleteDC(*dc);
    }
    Check(sim::engine().Outstanding().empty()); // nothing of the driver's is left behind
    return 0;
}
