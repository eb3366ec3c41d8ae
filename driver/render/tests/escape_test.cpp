#include <gtest/gtest.h>

#include "escape.h"
#include "kgl_records.h"

#include <vector>

namespace
{

using Bytes = std::vector<BYTE>;

constexpr LONG kMaxCopies = 9999;

Bytes Dword(DWORD v)
{
    return {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
}

struct EscapeCase
{
    const char* name;
    ULONG escape;
    Bytes input;
    ULONG outputSize;
    ULONG result;
    LONG copiesAfter;
    Bytes output; // what the output holds afterwards (starts as 0xEE bytes)
};

TEST(Escape, AnswersEachEscapeAsDecided)
{
    const Bytes untouched(4, 0xEE);
    const EscapeCase cases[] = {
        {"support for SETCOPYCOUNT asked as a WORD", QUERYESCSUPPORT, {17, 0}, 0, 1, 3, {}},
        {"support for QUERYESCSUPPORT asked as a DWORD", QUERYESCSUPPORT, Dword(8), 0, 1, 3, {}},
        {"four bytes are read as a DWORD", QUERYESCSUPPORT, Dword(0x10011), 0, 0, 3, {}},
        {"three bytes are read as a WORD", QUERYESCSUPPORT, {17, 0, 0x7F}, 0, 1, 3, {}},
        {"GETTECHNOLOGY is not supported", QUERYESCSUPPORT, {20, 0}, 0, 0, 3, {}},
        {"PASSTHROUGH is not supported", QUERYESCSUPPORT, Dword(19), 0, 0, 3, {}},
        {"one byte asks nothing", QUERYESCSUPPORT, {17}, 0, 0, 3, {}},
        {"a new count", SETCOPYCOUNT, Dword(25), 4, 1, 25, Dword(25)},
        {"a count above the maximum", SETCOPYCOUNT, Dword(10000), 4, 1, 9999, Dword(9999)},
        {"a zero count", SETCOPYCOUNT, Dword(0), 4, 1, 1, Dword(1)},
        {"a negative count", SETCOPYCOUNT, Dword(0xFFFFFFFB), 4, 1, 1, Dword(1)},
        {"three input bytes leave the count", SETCOPYCOUNT, {25, 0, 0}, 4, 1, 3, Dword(3)},
        {"a short output is not written", SETCOPYCOUNT, Dword(25), 3, 1, 25, untouched},
        {"PASSTHROUGH", PASSTHROUGH, Dword(25), 4, 0, 3, untouched},
        {"GETTECHNOLOGY", GETTECHNOLOGY, {}, 4, 0, 3, untouched},
        {"an unknown escape", 4100, Dword(25), 4, 0, 3, untouched},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        LONG copies = 3;
        Bytes output(4, 0xEE);
        const ULONG result =
            render::EscapeForCopies(copies, kMaxCopies, c.escape, static_cast<ULONG>(c.input.size()),
                                    c.input.empty() ? nullptr : c.input.data(), c.outputSize, output.data());
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(copies, c.copiesAfter);
        if (!c.output.empty())
        {
            EXPECT_EQ(output, c.output);
        }
    }
}

TEST(Escape, NoInputOrOutputBufferIsToleratedByEveryEscape)
{
    for (ULONG escape : {QUERYESCSUPPORT, SETCOPYCOUNT, PASSTHROUGH, GETTECHNOLOGY})
    {
        LONG copies = 7;
        render::EscapeForCopies(copies, kMaxCopies, escape, 4, nullptr, 4, nullptr);
        EXPECT_EQ(copies, 7) << escape;
    }
}

TEST(Escape, TheCopyCountSetGoesIntoTheNextPageHeader)
{
    LONG copies = 1;
    const Bytes input = Dword(25);
    ASSERT_EQ(render::EscapeForCopies(copies, kMaxCopies, SETCOPYCOUNT, 4, input.data(), 0, nullptr), 1u);
    const auto header =
        render::RecordBytes(render::MakePageHeader({}, {2100, 2970, {}, 600, 600}, {copies, 4832}));
    EXPECT_EQ(header[2], 25);
    EXPECT_EQ(header[3], 0);
}

} // namespace
