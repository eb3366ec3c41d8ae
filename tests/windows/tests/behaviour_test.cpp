// The behaviour checks the Wine stage runs on a real Win32, held by the simulated machine.
#include "../behaviour_checks.h"

#include <sim/desktop.h>
#include <sim/machine.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace
{
// Each check runs as the checks' program does under Wine: on a thread of its own, with its resources.
std::string RunAsProgram(const behaviour::Check& check)
{
    auto& d = sim::desktop();
    d.RegisterResources(u"test.exe", std::filesystem::path(BEHAVIOUR_RESOURCES));
    std::string seen;
    d.Run(
        [&] {
            seen = check.run();
            return DWORD{0};
        },
        [] {});
    return seen;
}

class WindowsBehaviour : public testing::TestWithParam<behaviour::Check>
{
};

TEST_P(WindowsBehaviour, Holds)
{
    EXPECT_EQ(RunAsProgram(GetParam()), "");
}

std::string NameOf(const testing::TestParamInfo<behaviour::Check>& info)
{
    std::string name;
    for (const char* c = info.param.name; *c; ++c)
        name += *c == '-' ? '_' : *c;
    return name;
}

INSTANTIATE_TEST_SUITE_P(Simulation, WindowsBehaviour, testing::ValuesIn(behaviour::Checks()), NameOf);

// The Wine stage runs the language choice for these users too.
TEST(WindowsBehaviourLanguages, ResourceLanguageChecksHoldForEachUser)
{
    for (const behaviour::Check& check :
         {behaviour::Check{"resource-language-choice", behaviour::ResourceLanguageChoice},
          behaviour::Check{"resource-language-before-neutral", behaviour::ResourceLanguageBeforeNeutral}})
        for (LANGID user : {LANGID{0x0411}, LANGID{0x0C07}, LANGID{0x0407}, LANGID{0x0415}, LANGID{0x0809}})
        {
            sim::machine().Reset();
            sim::desktop().SetUiLanguage(user);
            EXPECT_EQ(RunAsProgram(check), "") << check.name << ", user language " << user;
        }
}
} // namespace
