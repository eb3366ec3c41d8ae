// Hand-made print files for the reader's tests: records as the format lays them out, with code blocks
// packed from lists of codes.
#pragma once

#include "byte_view.h"
#include "kgl_records.h"

#include <testing/kgl_codes.h>

#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace printfile::fixture
{
using Bytes = std::vector<BYTE>;

using kgltest::LiteralBlock;
using kgltest::PackCodes;

struct Header
{
    unsigned copies = 1;
    unsigned resolution = 0x33;
    unsigned source = 5;
    unsigned paperCode = 3;
    unsigned bytesPerLine = 4;
    unsigned left = 0;
    unsigned top = 0;
    unsigned sets = 1;
};

struct Layout
{
    BYTE duplex = 0;
    BYTE orientation = 2; // rotation code 1
    BYTE byte2 = 0;
    BYTE byte3 = 0x11;
    unsigned extent1 = 2100;
    unsigned extent2 = 2970;
    unsigned right = 0;
    unsigned bottom = 0;
};

class Stream
{
public:
    Bytes bytes;

    Stream& Record(kgl::RecordType type, std::span<const BYTE> payload = {})
    {
        return Record(static_cast<BYTE>(type), payload);
    }
    // Any type byte, foreign ones included.
    Stream& Record(BYTE type, std::span<const BYTE> payload = {})
    {
        bytes.insert(bytes.end(), kgl::kEscapePrefix.begin(), kgl::kEscapePrefix.end());
        bytes.push_back(type);
        bytes.push_back(0);
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        return *this;
    }
    Stream& Raw(std::string_view text)
    {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    Stream& JobStart() { return Record(kgl::RecordType::JobStart); }
    Stream& JobEnd() { return Record(kgl::RecordType::JobEnd); }
    Stream& PageEnd() { return Record(kgl::RecordType::PageEnd); }
    Stream& Options() { return Record(kgl::RecordType::PageOptions, Bytes(5, 0)); }
    Stream& Extra() { return Record(kgl::RecordType::PageExtra, Bytes(2, 0)); }
    Stream& PageLayout(const Layout& l = {})
    {
        Bytes p(26, 0);
        p[0] = l.duplex;
        p[1] = l.orientation;
        p[2] = l.byte2;
        p[3] = l.byte3;
        PutU16(&p[4], l.extent1);
        PutU16(&p[6], l.extent2);
        PutU16(&p[8], l.right);
        PutU16(&p[10], l.bottom);
        return Record(kgl::RecordType::PageLayout, p);
    }
    Stream& PageHeader(const Header& h = {})
    {
        Bytes p(26, 0);
        PutU16(&p[2], h.copies);
        PutU16(&p[4], h.resolution);
        PutU16(&p[6], h.source);
        PutU16(&p[8], h.paperCode);
        PutU16(&p[10], h.bytesPerLine);
        PutU16(&p[14], h.left);
        PutU16(&p[16], h.top);
        PutU16(&p[20], h.sets);
        PutU16(&p[24], 100);
        return Record(kgl::RecordType::PageHeader, p);
    }
    // The four records that open a page.
    Stream& PageStart(const Header& h = {}, const Layout& l = {})
    {
        return Options().PageLayout(l).Extra().PageHeader(h);
    }
    Stream& Band(unsigned firstLine, unsigned lineCount, std::span<const BYTE> block, unsigned encoding = 2)
    {
        Bytes p(10, 0);
        PutU16(&p[0], static_cast<unsigned>(block.size()));
        PutU16(&p[2], firstLine);
        PutU16(&p[4], lineCount);
        PutU16(&p[6], encoding);
        p.insert(p.end(), block.begin(), block.end());
        p.insert(p.end(), 10, 0); // the writer's trailing zeros
        return Record(kgl::RecordType::SubBand, p);
    }
    // A page of `lines` lines of `bytesPerLine` bytes (top line first), sent in bands of `perBand` lines.
    Stream& Page(const Bytes& lines, Header h, unsigned perBand = 8, const Layout& l = {})
    {
        PageStart(h, l);
        const size_t count = lines.size() / h.bytesPerLine;
        for (size_t first = 0; first < count; first += perBand)
        {
            const size_t n = std::min<size_t>(perBand, count - first);
            std::span<const BYTE> raw(lines.data() + first * h.bytesPerLine, n * h.bytesPerLine);
            Band(static_cast<unsigned>(first), static_cast<unsigned>(n), LiteralBlock(raw));
        }
        return PageEnd();
    }
};

} // namespace printfile::fixture
