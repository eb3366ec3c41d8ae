#include <gtest/gtest.h>

#include <sim/machine.h>

namespace
{
class FreshMachine : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo&) override { sim::machine().Reset(); }
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        for (const std::string& api : sim::faults().Pending())
            ADD_FAILURE() << "a fault asked for " << api << " was never taken";
        sim::machine().Reset();
    }
};
} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshMachine);
    sim::desktop().SetFailureReporter([](const std::string& message) { ADD_FAILURE() << message; });
    return RUN_ALL_TESTS();
}
