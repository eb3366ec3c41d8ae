// Name lookups on the simulated file system in a folder of many files, as a program that looks for
// the first free numbered name probes it: names present as written, present under another case, and
// absent. The time per iteration is the time of one GetFileAttributesW; the first lookup in the
// folder, which reads it, is left out.

#include <benchmark/benchmark.h>

#include <platform/windows.h>
#include <sim/machine.h>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace
{

WString Name(const char* folder, const char* pattern, long i)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, i);
    WString out;
    for (const char* p = folder; *p; ++p)
        out += static_cast<WCHAR>(*p);
    for (const char* p = text; *p; ++p)
        out += static_cast<WCHAR>(*p);
    return out;
}

// A fresh machine whose C:\Full holds IMAGE00001.kgl .. IMAGE<n>.kgl, written on the host as a
// test fills a big folder.
void FillFolder(long n)
{
    sim::machine().Reset();
    CreateDirectoryW(u"C:\\Full", nullptr);
    const std::string folder = sim::files().HostPath(u"C:\\Full").string();
    char name[32];
    for (long i = 1; i <= n; ++i)
    {
        std::snprintf(name, sizeof name, "/IMAGE%05ld.kgl", i);
        ::close(::open((folder + name).c_str(), O_CREAT | O_WRONLY, 0644));
    }
}

void Probe(benchmark::State& state, const char* pattern, bool expectFound)
{
    const long n = state.range(0);
    FillFolder(n);
    GetFileAttributesW(u"C:\\Full\\IMAGE00001.kgl"); // the folder is read once, on the first lookup
    long i = 0;
    for (auto _ : state)
    {
        i = i % n + 1;
        const DWORD attributes = GetFileAttributesW(Name("C:\\Full\\", pattern, i).c_str());
        if ((attributes != INVALID_FILE_ATTRIBUTES) != expectFound)
        {
            state.SkipWithError("the lookup gave the wrong answer");
            break;
        }
    }
    sim::machine().Reset();
}

} // namespace

BENCHMARK_CAPTURE(Probe, as_written, "IMAGE%05ld.kgl", true)->Arg(1000)->Arg(99999);
BENCHMARK_CAPTURE(Probe, other_case, "image%05ld.KGL", true)->Arg(1000)->Arg(99999);
BENCHMARK_CAPTURE(Probe, absent, "OTHER%05ld.kgl", false)->Arg(1000)->Arg(99999);

BENCHMARK_MAIN();
