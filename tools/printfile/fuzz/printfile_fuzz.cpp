// Any bytes as a print file, through the converter's own path: the file opened and mapped, scanned, and every
// page it lists saved as a bitmap, within the converter's size limits. The address space is capped below what
// those limits allow, so that large pages meet a full address space as they do in the 32-bit converter.
#include "mapped_file.h"
#include "page_render.h"
#include "print_scan.h"

#include <sim/machine.h>
#include <testing/address_space.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <string_view>

namespace
{
using namespace printfile;

const WCHAR* const kFolder = u"C:\\fuzz";
const WCHAR* const kPrintFile = u"C:\\fuzz\\job.kgl";
const WCHAR* const kBitmap = u"C:\\fuzz\\page.bmp";
// Room for pages of a few tens of megabytes beside the fuzzer's own memory; larger ones fail at once.
constexpr uint64_t kHeadroom = uint64_t{64} << 20;

// The machine is made once: each input only replaces the print file. Its files live in a host folder,
// on the memory file system where there is one, so that each input's print file and bitmap cost no disk.
bool SetUpOnce()
{
    struct stat shm;
    if (::stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) && ::access("/dev/shm", W_OK) == 0)
        ::setenv("TMPDIR", "/dev/shm", 1);
    sim::machine().Reset();
    return CreateDirectoryW(kFolder, nullptr) && memtest::CapAddressSpace(kHeadroom);
}

// The bitmap's size as its header gives it, checked against the file's; 0 without a whole bitmap.
uint64_t WholeBitmapSize()
{
    HANDLE f = CreateFileW(kBitmap, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    BYTE header[kBmpHeaderSize] = {};
    DWORD read = 0;
    LARGE_INTEGER size{};
    const bool ok = ReadFile(f, header, sizeof header, &read, nullptr) && read == sizeof header &&
                    GetFileSizeEx(f, &size);
    CloseHandle(f);
    if (!ok)
        return 0;
    auto u32 = [&](size_t at) { return ReadU16(header + at) | uint32_t{ReadU16(header + at + 2)} << 16; };
    const uint64_t declared = u32(offsetof(MonochromeBmpHeader, fileSize));
    const uint64_t width = u32(offsetof(MonochromeBmpHeader, width));
    const uint64_t height = u32(offsetof(MonochromeBmpHeader, height));
    const uint64_t rows = (((width + 31) >> 3) & ~uint64_t{3}) * height;
    return declared == uint64_t(size.QuadPart) && declared == kBmpHeaderSize + rows ? declared : 0;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = SetUpOnce();
    if (!ready)
        __builtin_trap();
    sim::files().Put(kPrintFile, std::string_view(reinterpret_cast<const char*>(data), size));
    CMemoryMappedFile file;
    if (!file.Open(kPrintFile))
    {
        if (size != 0)
            __builtin_trap(); // only an empty file cannot be mapped
        return 0;
    }
    std::vector<CPrintTicket> pages;
    ScanPrintFile(pages, file);
    for (const CPrintTicket& page : pages)
    {
        const RenderResult result = RenderPageToBmp(file, page, kBitmap);
        // A page is saved whole, or not at all.
        if (result.Written() != (WholeBitmapSize() != 0))
            __builtin_trap();
        DeleteFileW(kBitmap);
    }
    return 0;
}
