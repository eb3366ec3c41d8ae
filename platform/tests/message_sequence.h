// Checks the messages a window procedure saw against the ones expected, in order. An entry marked
// optional may be missing: Windows versions differ in a few notifications, and a test should not
// depend on them.
#pragma once

#include <gtest/gtest.h>

#include <platform/windows.h>

#include <string>
#include <vector>

namespace sequence
{

struct Message
{
    int window = 0; // the test's own number for the window that got it
    UINT message = 0;
    UINT code = 0; // the notification code of WM_NOTIFY, or 0
    bool operator==(const Message&) const = default;
};

struct Expected
{
    Message message;
    bool optional = false;
};

inline std::string Describe(const Message& m)
{
    return "window " + std::to_string(m.window) + " message " + std::to_string(m.message) + " code " +
           std::to_string(static_cast<int>(m.code));
}

inline ::testing::AssertionResult Matches(const std::vector<Message>& seen,
                                          const std::vector<Expected>& expected)
{
    size_t s = 0;
    for (size_t e = 0; e < expected.size(); ++e)
    {
        if (s < seen.size() && seen[s] == expected[e].message)
        {
            ++s;
            continue;
        }
        if (expected[e].optional)
            continue;
        return ::testing::AssertionFailure()
               << "expected #" << e << " (" << Describe(expected[e].message) << "), saw "
               << (s < seen.size() ? Describe(seen[s]) : std::string("nothing more")) << " at #" << s;
    }
    if (s < seen.size())
        return ::testing::AssertionFailure() << "unexpected " << Describe(seen[s]) << " at #" << s;
    return ::testing::AssertionSuccess();
}

} // namespace sequence
