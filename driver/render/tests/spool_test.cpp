#include <gtest/gtest.h>

#include "spool.h"

#include <numeric>
#include <string>
#include <vector>

namespace
{

using render::kSpoolBufferSize;
using Bytes = std::vector<BYTE>;

// Stands in for EngWritePrinter: takes at most `maxTake` bytes a call, and answers each call from a
// script of results once the script reaches it.
struct ScriptedWriter
{
    struct Answer
    {
        BOOL result;
        DWORD take; // bytes reported written (capped at what was offered)
    };
    std::vector<Answer> script; // call i answers script[i]; beyond it, success taking maxTake
    DWORD maxTake = 0xFFFFFFFF;
    std::vector<DWORD> offered;
    Bytes received;

    BOOL operator()(const BYTE* data, DWORD size, DWORD* written)
    {
        const std::size_t call = offered.size();
        offered.push_back(size);
        Answer a = call < script.size() ? script[call] : Answer{TRUE, maxTake};
        *written = std::min(a.take, size);
        if (a.result)
            received.insert(received.end(), data, data + *written);
        return a.result;
    }
    render::SpoolWriteFn Fn() { return render::SpoolWriterOf(*this); }
};

struct Spool
{
    Bytes buffer = Bytes(kSpoolBufferSize);
    ScriptedWriter writer;
    render::SpoolState state{buffer, writer.Fn()};
    Bytes sent; // everything handed to the spool output, in order

    BOOL Write(DWORD size)
    {
        Bytes data(size);
        for (DWORD i = 0; i < size; ++i)
            data[i] = static_cast<BYTE>(sent.size() + i * 7);
        sent.insert(sent.end(), data.begin(), data.end());
        return render::RtgWriteSpool(state, data.data(), size);
    }
};

struct BoundaryCase
{
    const char* name;
    std::vector<DWORD> writes;
    std::vector<DWORD> callsBeforeFlush; // spooler calls made by the writes themselves
};

TEST(SpoolOutput, FlushesAtTheBufferBoundariesAndWritesLargeDataDirectly)
{
    const BoundaryCase cases[] = {
        {"63,487 bytes stay in the buffer", {63487}, {}},
        {"63,488 bytes fill an empty buffer without a call", {63488}, {}},
        {"a write reaching the buffer size flushes first", {100, 63388}, {100}},
        {"a write one short of it does not", {100, 63387}, {}},
        {"a full buffer is flushed by the next byte", {63488, 1}, {63488}},
        {"40,000 bytes join 23,487 buffered bytes", {23487, 40000}, {}},
        {"40,000 bytes flush 23,488 buffered bytes", {23488, 40000}, {23488}},
        {"63,489 bytes go straight through after a flush", {10, 63489}, {10, 63489}},
        {"70,000 bytes go straight through after a flush", {5, 70000, 3}, {5, 70000}},
        {"zero bytes do nothing", {0, 0}, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Spool s;
        for (DWORD size : c.writes)
            EXPECT_TRUE(s.Write(size));
        EXPECT_EQ(s.writer.offered, c.callsBeforeFlush);
        EXPECT_TRUE(render::RtgWriteSpoolFlash(s.state));
        EXPECT_EQ(s.state.fill, 0u);
        EXPECT_EQ(s.writer.received, s.sent);
        EXPECT_FALSE(render::SpoolFailed(s.state));
    }
}

TEST(SpoolOutput, PartialWritesAreContinuedUntilAllIsTaken)
{
    Spool s;
    s.writer.maxTake = 4096;
    EXPECT_TRUE(s.Write(30000));
    EXPECT_TRUE(render::RtgWriteSpoolFlash(s.state));
    EXPECT_TRUE(s.Write(70000));
    EXPECT_EQ(s.writer.offered.size(), 8u + 18u);
    EXPECT_EQ(s.writer.offered[8], 70000u);
    EXPECT_EQ(s.writer.offered[9], 70000u - 4096u);
    EXPECT_EQ(s.writer.received, s.sent);
    EXPECT_EQ(s.state.jobFlags, render::kJobWriteSucceeded);
}

struct FailureCase
{
    const char* name;
    std::vector<ScriptedWriter::Answer> script;
    std::size_t callsMade;
};

TEST(SpoolOutput, AFailedSpoolerWriteStopsTheWholeJob)
{
    const FailureCase cases[] = {
        {"the first call fails", {{FALSE, 0}}, 1},
        {"the third call fails after partial writes", {{TRUE, 1000}, {TRUE, 1000}, {FALSE, 500}}, 3},
        {"a call that succeeds but takes nothing", {{TRUE, 1000}, {TRUE, 0}}, 2},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Spool s;
        s.writer.script = c.script;
        EXPECT_TRUE(s.Write(20000));
        EXPECT_FALSE(render::RtgWriteSpoolFlash(s.state));
        EXPECT_TRUE(render::SpoolFailed(s.state));
        EXPECT_EQ(s.writer.offered.size(), c.callsMade);

        // Nothing further of the job reaches the spooler, and nothing reports success.
        EXPECT_FALSE(s.Write(100));
        EXPECT_FALSE(s.Write(80000));
        EXPECT_FALSE(render::RtgWriteSpoolFlash(s.state));
        EXPECT_EQ(s.writer.offered.size(), c.callsMade);

        render::ClearSpoolJobFlags(s.state);
        EXPECT_TRUE(s.Write(100));
        EXPECT_TRUE(render::RtgWriteSpoolFlash(s.state));
        EXPECT_EQ(s.writer.offered.size(), c.callsMade + 1);
    }
}

TEST(SpoolOutput, ADirectWriteFailingPartWayReportsFailure)
{
    Spool s;
    s.writer.script = {{TRUE, 40000}, {FALSE, 0}};
    EXPECT_FALSE(s.Write(70000));
    EXPECT_EQ(s.writer.offered, (std::vector<DWORD>{70000, 30000}));
    EXPECT_EQ(s.state.jobFlags, render::kJobWriteSucceeded | render::kJobWriteError);
}

TEST(SpoolOutput, AFlushThatFailsInsideABufferedWriteReportsFailure)
{
    Spool s;
    s.writer.script = {{FALSE, 0}};
    EXPECT_TRUE(s.Write(60000));
    EXPECT_FALSE(s.Write(5000));
    EXPECT_EQ(s.writer.offered.size(), 1u);
}

TEST(SpoolOutput, AWriterClaimingMoreThanOfferedStopsTheJob)
{
    Bytes buffer(kSpoolBufferSize);
    std::vector<DWORD> calls;
    auto claimMore = [&](const BYTE*, DWORD size, DWORD* written) {
        calls.push_back(size);
        *written = size + 1;
        return TRUE;
    };
    render::SpoolState state{buffer, render::SpoolWriterOf(claimMore)};
    const Bytes data(70000, 1);
    EXPECT_FALSE(render::RtgWriteSpool(state, data.data(), 70000));
    EXPECT_EQ(calls.size(), 1u);
}

TEST(SpoolOutput, ARefusedDuplexJobWritesNothing)
{
    Spool s;
    s.state.duplexRefused = true;
    const Bytes data(100, 1);
    EXPECT_FALSE(render::KgWriteSpoolOrFile(s.state, data.data(), 100));
    EXPECT_FALSE(render::KgWriteSpoolOrFile(s.state, data.data(), 0));
    EXPECT_TRUE(render::RtgWriteSpoolFlash(s.state));
    EXPECT_TRUE(s.writer.offered.empty());
    s.state.duplexRefused = false;
    EXPECT_TRUE(render::KgWriteSpoolOrFile(s.state, data.data(), 100));
    EXPECT_EQ(s.state.fill, 100u);
}

// An output set up without a whole buffer or without a writer never throws: it starts stopped, and
// nothing reaches the spooler.
TEST(SpoolOutput, AnOutputWithoutItsBufferOrWriterStartsStopped)
{
    Bytes small(kSpoolBufferSize - 1);
    ScriptedWriter writer;
    const Bytes data(10, 1);
    for (render::SpoolWriteFn fn : {writer.Fn(), render::SpoolWriteFn{}})
    {
        Bytes buffer(fn ? small.size() : kSpoolBufferSize);
        render::SpoolState state(buffer, fn);
        EXPECT_TRUE(render::SpoolFailed(state));
        EXPECT_FALSE(render::KgWriteSpoolOrFile(state, data.data(), 10));
        EXPECT_FALSE(render::RtgWriteSpoolFlash(state));
    }
    EXPECT_TRUE(writer.offered.empty());
}

} // namespace
