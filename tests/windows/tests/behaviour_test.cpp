// The behaviour checks the Wine stage runs on a real Win32, held by the simulated machine.
#include "../behaviour_checks.h"

#include <gtest/gtest.h>

namespace
{
class WindowsBehaviour : public testing::TestWithParam<behaviour::Check>
{
};

TEST_P(WindowsBehaviour, Holds)
{
    EXPECT_EQ(GetParam().run(), "");
}

std::string NameOf(const testing::TestParamInfo<behaviour::Check>& info)
{
    std::string name;
    for (const char* c = info.param.name; *c; ++c)
        name += *c == '-' ? '_' : *c;
    return name;
}

INSTANTIATE_TEST_SUITE_P(Simulation, WindowsBehaviour, testing::ValuesIn(behaviour::Checks()), NameOf);
} // namespace
