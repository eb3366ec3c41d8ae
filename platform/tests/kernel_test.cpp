#include <gtest/gtest.h>

#include <platform/windows.h>
#include <sim/machine.h>

#include <functional>
#include <vector>

namespace
{
// A program whose 200 ms timer ticks until the script ends it.
struct Ticker
{
    std::vector<ULONGLONG> ticks;
    DWORD operator()()
    {
        SetTimer(nullptr, 0, 200, nullptr);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            if (msg.message == WM_TIMER)
                ticks.push_back(GetTickCount64());
        return 0;
    }
};

TEST(Clock, MachineAndDesktopStepTheSameClockThroughEveryTimer)
{
    const std::vector<std::pair<const char*, std::function<void(ULONGLONG)>>> advances = {
        {"machine", [](ULONGLONG ms) { sim::machine().Advance(ms); }},
        {"desktop", [](ULONGLONG ms) { sim::desktop().Advance(ms); }},
    };
    for (const auto& [name, advance] : advances)
    {
        SCOPED_TRACE(name);
        sim::machine().Reset();
        Ticker ticker;
        DWORD uiThread = 0;
        sim::desktop().Run(
            [&] {
                uiThread = GetCurrentThreadId();
                return ticker();
            },
            [&] {
                advance(1000);
                PostThreadMessageW(uiThread, WM_QUIT, 0, 0);
            });
        EXPECT_EQ(ticker.ticks, (std::vector<ULONGLONG>{200, 400, 600, 800, 1000}));
        EXPECT_EQ(sim::machine().Now(), 1000u);
    }
}
} // namespace
