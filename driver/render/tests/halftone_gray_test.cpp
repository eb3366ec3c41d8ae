#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "halftone.h"

using namespace velmoq7;

namespace
{

struct Rgb
{
    std::uint8_t p0, p1, p2;
};

Rgb Gray(int g)
{
    return {std::uint8_t(g), std::uint8_t(g), std::uint8_t(g)};
}

std::vector<std::uint8_t> Line(const std::vector<Rgb>& pixels)
{
    std::vector<std::uint8_t> bytes;
    for (const Rgb& p : pixels)
        bytes.insert(bytes.end(), {p.p0, p.p1, p.p2});
    return bytes;
}

std::vector<int> ToGray(const HalftoneContext& ctx, const std::vector<Rgb>& pixels, int first = 0)
{
    const auto bytes = Line(pixels);
    std::vector<std::uint16_t> gray(pixels.size() + 4, 0xBEEF);
    const int n = Convert24ToGrayPageForwardVelmo(ctx, gray, bytes, int(pixels.size()) - first, first);
    EXPECT_GE(n, 0);
    for (std::size_t i = n < 0 ? 0 : n; i < gray.size(); ++i)
        EXPECT_EQ(gray[i], 0xBEEF) << "written past the gray pixels at " << i;
    return std::vector<int>(gray.begin(), gray.begin() + std::max(n, 0));
}

struct GrayCase
{
    const char* name;
    std::function<void(HalftoneContext&)> set;
    std::vector<Rgb> pixels;
    std::vector<int> expected;

    friend void PrintTo(const GrayCase& c, std::ostream* os) { *os << c.name; }
};

class GrayTable : public ::testing::TestWithParam<GrayCase>
{
};

TEST_P(GrayTable, ConvertsAsTheSettingsSay)
{
    const GrayCase& c = GetParam();
    HalftoneContext ctx;
    ctx.resolutionType = 0;
    if (c.set)
        c.set(ctx);
    EXPECT_EQ(ToGray(ctx, c.pixels), c.expected);
}

auto Type(int resolutionType, int documentType = 0)
{
    return [=](HalftoneContext& c) {
        c.resolutionType = resolutionType;
        c.documentType = documentType;
    };
}

auto Density(int d, int method)
{
    return [=](HalftoneContext& c) {
        c.densityAdjust = d;
        c.ProcessingMethodForDensity = method;
    };
}

auto Contrast(int v)
{
    return [=](HalftoneContext& c) { c.contrastAdjust = v; };
}

auto Shift(int on, int v)
{
    return [=](HalftoneContext& c) {
        c.grayShiftOn = on;
        c.grayShift = v;
    };
}

const Rgb kWhite = Gray(255), kBlack = Gray(0);

INSTANTIATE_TEST_SUITE_P(Pixels, GrayTable,
                         ::testing::Values(GrayCase{"formula",
                                                    {},
                                                    {{255, 0, 0},
                                                     {0, 255, 0},
                                                     {0, 0, 255},
                                                     kWhite,
                                                     kBlack,
                                                     {16, 32, 48}},
                                                    {79, 143, 31, 255, 0, 29}},
                                           GrayCase{"type1_darker",
                                                    Type(1, 0),
                                                    {kBlack, kWhite, Gray(90), Gray(40)},
                                                    {0, 40}},
                                           GrayCase{"type1_average",
                                                    Type(1, 3),
                                                    {kBlack, kWhite, Gray(91), Gray(40)},
                                                    {127, 65}},
                                           GrayCase{"type1_odd_last_alone",
                                                    Type(1, 3),
                                                    {kBlack, kWhite, Gray(77)},
                                                    {127, 77}},
                                           GrayCase{
                                               "type3_six_to_five",
                                               Type(3),
                                               {Gray(200), Gray(100), Gray(10), Gray(20), Gray(30), Gray(40)},
                                               {100, 10, 20, 30, 40}},
                                           GrayCase{
                                               "type3_pair_is_darker_even_for_average",
                                               Type(3, 3),
                                               {Gray(100), Gray(200), Gray(10), Gray(20), Gray(30), Gray(40)},
                                               {100, 10, 20, 30, 40}},
                                           GrayCase{"type3_tail_one",
                                                    Type(3),
                                                    {Gray(1), Gray(2), Gray(3), Gray(4), Gray(5), Gray(6),
                                                     Gray(77)},
                                                    {1, 3, 4, 5, 6, 77}},
                                           GrayCase{"type3_tail_three",
                                                    Type(3),
                                                    {Gray(9), Gray(8), Gray(7), Gray(6), Gray(5), Gray(4),
                                                     Gray(60), Gray(50), Gray(70)},
                                                    {8, 7, 6, 5, 4, 50, 70}},
                                           GrayCase{
                                               "type2_one_to_one",
                                               Type(2),
                                               {Gray(1), Gray(2), Gray(3)},
                                               {1, 2, 3}},
                                           // Corrections, each with its clamping and the skip of a pixel that
                                           // is white already.
                                           GrayCase{
                                               "density_scale",
                                               Density(20, 0),
                                               {Gray(100), Gray(250), kWhite, kBlack},
                                               {120, 255, 255, 0}},
                                           GrayCase{"density_scale_down",
                                                    Density(-50, 0),
                                                    {Gray(100), Gray(1)},
                                                    {50, 0}},
                                           GrayCase{"density_offset",
                                                    Density(10, 1),
                                                    {Gray(100), Gray(250)},
                                                    {112, 255}},
                                           GrayCase{
                                               "density_offset_truncates_toward_zero",
                                               Density(-64, 1),
                                               {Gray(50), Gray(200)},
                                               {0, 119}},
                                           GrayCase{
                                               "contrast",
                                               Contrast(32),
                                               {Gray(200), Gray(50), kWhite},
                                               {236, 11, 255}},
                                           GrayCase{"contrast_truncates_toward_zero",
                                                    Contrast(1),
                                                    {Gray(127), Gray(129)},
                                                    {127, 129}},
                                           GrayCase{
                                               "contrast_flat_and_clamped",
                                               [](HalftoneContext& c) { c.contrastAdjust = -64; },
                                               {Gray(3), Gray(250)},
                                               {128, 128}},
                                           GrayCase{"contrast_clamps_low",
                                                    Contrast(64),
                                                    {Gray(20), Gray(240)},
                                                    {0, 255}},
                                           GrayCase{"gray_shift",
                                                    Shift(1, 30),
                                                    {Gray(100), Gray(20), kWhite},
                                                    {62, 0, 255}},
                                           GrayCase{"gray_shift_brightens_and_clamps",
                                                    Shift(1, -64),
                                                    {Gray(200), Gray(100)},
                                                    {255, 181}},
                                           GrayCase{
                                               "gray_shift_only_when_on_is_1",
                                               Shift(2, 30),
                                               {Gray(100)},
                                               {100}},
                                           GrayCase{"white_after_density_skips_contrast",
                                                    [](HalftoneContext& c) {
                                                        c.densityAdjust = 10;
                                                        c.ProcessingMethodForDensity = 1;
                                                        c.contrastAdjust = -32;
                                                    },
                                                    {Gray(250), Gray(100)},
                                                    {255, 120}},
                                           GrayCase{"corrections_after_joining_the_pair",
                                                    [](HalftoneContext& c) {
                                                        c.resolutionType = 1;
                                                        c.documentType = 3;
                                                        c.contrastAdjust = 32;
                                                    },
                                                    {Gray(0), Gray(200)},
                                                    {86}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Plain lines of every length around the vector step, from several first pixels, against the weighted
// sum pixel by pixel: the bytes of each pixel must stay together and in their order.
TEST(HalftoneGray, PlainLinesOfAnyLengthAreTheWeightedSum)
{
    std::uint32_t seed = 3;
    std::vector<Rgb> pixels(70);
    for (Rgb& p : pixels)
    {
        seed = seed * 1103515245 + 12345;
        p = {std::uint8_t(seed >> 8), std::uint8_t(seed >> 16), std::uint8_t(seed >> 24)};
    }
    pixels[5] = {255, 255, 255};
    pixels[6] = {255, 0, 0};
    pixels[7] = {0, 0, 255};
    const HalftoneContext ctx;
    for (int first : {0, 1, 5})
        for (int count = 0; first + count <= int(pixels.size()); ++count)
        {
            const std::vector<Rgb> line(pixels.begin(), pixels.begin() + first + count);
            std::vector<int> expected;
            for (int i = first; i < first + count; ++i)
                expected.push_back(GrayOf(line[i].p0, line[i].p1, line[i].p2));
            ASSERT_EQ(ToGray(ctx, line, first), expected) << "first " << first << " count " << count;
        }
}

TEST(HalftoneGray, ConversionStartsAtTheFirstPixelHandedIn)
{
    HalftoneContext ctx;
    ctx.resolutionType = 3;
    const std::vector<Rgb> pixels = {kBlack,  kBlack,  Gray(9), Gray(8), Gray(7),
                                     Gray(6), Gray(5), Gray(4), kBlack};
    // From pixel 2 the six-pixel groups start at 9, 8.
    EXPECT_EQ(ToGray(ctx, pixels, 2), (std::vector<int>{8, 7, 6, 5, 4, 0}));
}

TEST(HalftoneGray, RefusesPixelsOutsideTheBuffers)
{
    HalftoneContext ctx;
    const auto bytes = Line({kBlack, kBlack, kBlack});
    std::vector<std::uint16_t> gray(3, 7);
    EXPECT_EQ(Convert24ToGrayPageForwardVelmo(ctx, gray, bytes, 3, 1), -1);
    EXPECT_EQ(Convert24ToGrayPageForwardVelmo(ctx, gray, bytes, -1, 0), -1);
    EXPECT_EQ(Convert24ToGrayPageForwardVelmo(ctx, gray, bytes, 0x7FFFFFFF, 0x7FFFFFFF), -1);
    EXPECT_EQ(Convert24ToGrayPageForwardVelmo(ctx, std::span(gray).first(2), bytes, 3, 0), -1);
    EXPECT_EQ(gray, (std::vector<std::uint16_t>{7, 7, 7})) << "a refused line writes nothing";
    ctx.resolutionType = 1; // three pixels fit two gray values
    EXPECT_EQ(Convert24ToGrayPageForwardVelmo(ctx, std::span(gray).first(2), bytes, 3, 0), 2);
}

// One pixel of each drop-out class with H = 30 (L = 225).
struct ClassPixel
{
    int bit;
    Rgb classes;  // TakeApartColor
    Rgb classes2; // TakeApartColor2
};

const ClassPixel kClassPixels[] = {
    {0x01, {10, 10, 10}, {100, 120, 80}},    {0x02, {250, 10, 10}, {240, 100, 110}},
    {0x04, {10, 250, 10}, {100, 240, 110}},  {0x08, {10, 10, 250}, {100, 110, 240}},
    {0x10, {10, 250, 250}, {100, 240, 240}}, {0x20, {250, 10, 250}, {240, 100, 240}},
    {0x40, {250, 250, 10}, {240, 240, 100}},
};

TEST(HalftoneDropOut, EachClassIsDroppedByItsMaskBitOrKeptWhenInverted)
{
    for (int second = 0; second < 2; ++second)
        for (const ClassPixel& pixel : kClassPixels)
            for (int maskBit = 1; maskBit <= 0x40; maskBit <<= 1)
                for (int invert = 0; invert < 2; ++invert)
                {
                    const Rgb p = second ? pixel.classes2 : pixel.classes;
                    auto fn = second ? TakeApartColor2 : TakeApartColor;
                    const bool meets = maskBit == pixel.bit;
                    const int expected = (meets != (invert != 0)) ? 255 : GrayOf(p.p0, p.p1, p.p2);
                    EXPECT_EQ(fn(p.p0, p.p1, p.p2, 30, maskBit, invert), expected)
                        << (second ? "TakeApartColor2" : "TakeApartColor") << " class " << pixel.bit
                        << " mask " << maskBit << " invert " << invert;
                }
}

TEST(HalftoneDropOut, ThresholdsComeFromTheLowByteOfTheSwing)
{
    // H = 30 from 0x11E; a 200-swing would class (10, 10, 10) and more besides.
    EXPECT_EQ(TakeApartColor(40, 10, 10, 0x11E, 0x01, 0), GrayOf(40, 10, 10));
    EXPECT_EQ(TakeApartColor(30, 10, 10, 0x11E, 0x01, 0), 255);
    EXPECT_EQ(TakeApartColor(224, 10, 10, 30, 0x02, 0), GrayOf(224, 10, 10));
    EXPECT_EQ(TakeApartColor(225, 10, 10, 30, 0x02, 0), 255);
    // Tolerance bounds of TakeApartColor2: within p0 - H .. p0 + H.
    EXPECT_EQ(TakeApartColor2(100, 130, 70, 30, 0x01, 0), 255);
    EXPECT_EQ(TakeApartColor2(100, 131, 70, 30, 0x01, 0), GrayOf(100, 131, 70));
    EXPECT_EQ(TakeApartColor2(10, 0, 40, 30, 0x01, 0), 255);
    // A pixel of no class is kept without invert and dropped with it.
    EXPECT_EQ(TakeApartColor(128, 128, 128, 30, 0x7F, 0), 128);
    EXPECT_EQ(TakeApartColor(128, 128, 128, 30, 0x7F, 1), 255);
}

TEST(HalftoneDropOut, LineConversionUsesTheChosenMethodBeforeJoiningAndCorrecting)
{
    HalftoneContext ctx;
    ctx.colorSeparation = 1;
    ctx.separationColors = 0x02;
    ctx.separationInvert = 0;
    ctx.swingValue = 30;
    EXPECT_EQ(ToGray(ctx, {{255, 0, 0}, {0, 255, 0}}), (std::vector<int>{255, 143}));
    ctx.ProcessingMethodForColorSeparation = 1; // red with near-equal others
    EXPECT_EQ(ToGray(ctx, {{250, 100, 110}, {250, 100, 200}}),
              (std::vector<int>{255, GrayOf(250, 100, 200)}));
    ctx.ProcessingMethodForColorSeparation = 0;
    ctx.resolutionType = 1;
    ctx.documentType = 0;
    ctx.densityAdjust = -50;
    // The red pixel turns white before the pair is joined, so its partner decides.
    EXPECT_EQ(ToGray(ctx, {{255, 0, 0}, Gray(200)}), (std::vector<int>{100}));
}

} // namespace
