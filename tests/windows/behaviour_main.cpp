// Runs the behaviour checks on the system it is started on (only the one named, when a name is
// given): one "PASS <name>" or "FAIL <name>: <what>" line each; exits 1 when one fails.
#include "behaviour_checks.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    int failed = 0;
    for (const behaviour::Check& check : behaviour::Checks())
    {
        if (argc > 1 && std::strcmp(argv[1], check.name) != 0)
            continue;
        const std::string seen = check.run();
        if (seen.empty())
            std::printf("PASS %s\n", check.name);
        else
        {
            std::printf("FAIL %s: %s\n", check.name, seen.c_str());
            ++failed;
        }
    }
    std::fflush(stdout);
    return failed ? 1 : 0;
}
