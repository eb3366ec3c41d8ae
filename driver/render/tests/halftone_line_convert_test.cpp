// The band flow's line conversion over the PDEV's own buffers.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "page_flow.h"
#include "pdev.h"

using namespace velmoq7;

namespace
{

struct Device
{
    std::unique_ptr<PDev> pdev = std::make_unique<PDev>();
    velmo::SelfDMode settings{};
    std::vector<BYTE> user0 = std::vector<BYTE>(0x40000), user1 = std::vector<BYTE>(0x15000);

    explicit Device(LONG resolutionType)
    {
        settings.resolutionType = resolutionType;
        settings.halftoneOn = 0;
        pdev->settings = &settings;
        pdev->band.code = kBandTopDown;
        pdev->userBuffers[0] = user0.data();
        pdev->userBuffers[1] = user1.data();
        pdev->device.userBufferSizes[1] = static_cast<ULONG>(user1.size());
        pdev->flow.image.lineCount = 10;
    }
};

TEST(HalftoneLineConvert, AnOddPixelLeftOverByTheShrinkDoesNotOverflowTheImageLine)
{
    // The image line's bytes come from its width halved (type 1) or cut to five sixths (type 3), rounded
    // down; the gray line keeps an odd last pixel. Where the bytes end exactly at the rounded width, that
    // pixel has no room and the line must still convert.
    struct Case
    {
        LONG type, pixels;
    };
    for (const Case c : {Case{1, 65}, Case{1, 129}, Case{3, 193}, Case{1, 67}})
    {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", " << c.pixels << " pixels");
        Device d(c.type);
        const std::vector<std::uint8_t> black(3 * c.pixels, 0);
        const WORD bytes = render::KglBytesPerLine(c.pixels, c.type);
        std::vector<std::uint8_t> line(bytes + 1, 0xA5);
        LineConverter converter(*d.pdev);
        ASSERT_TRUE(converter.Convert(black, c.pixels, 0, std::span(line).first(bytes)));
        const LONG width = c.type == 1 ? c.pixels / 2 : c.pixels * 5 / 6;
        for (LONG x = 0; x < width; ++x)
            ASSERT_TRUE((line[x / 8] >> (7 - x % 8)) & 1) << x;
        EXPECT_EQ(line[bytes], 0xA5) << "nothing past the line";
    }
}

} // namespace
