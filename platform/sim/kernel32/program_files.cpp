#include "kernel32/program_files.h"

#include "core/internal.h"

#include <string_view>

using namespace std::string_view_literals;

namespace sim
{
namespace
{
// After the bytes the file already has: the mark, the program's file name in UTF-8, a NUL.
constexpr std::string_view kProgramMark = "\0SIMPROGRAM\x1A"sv;
} // namespace

void Files::PutProgram(WStringView windowsPath, WStringView programFileName)
{
    std::string bytes = Bytes(windowsPath).value_or("MZ");
    bytes.append(kProgramMark);
    bytes.append(detail::ToUtf8(programFileName));
    bytes.push_back('\0');
    Put(windowsPath, bytes);
}

namespace detail
{
std::optional<WString> ProgramMadeFrom(WStringView windowsPath)
{
    std::optional<std::string> bytes = files().Bytes(windowsPath);
    if (!bytes)
        return std::nullopt;
    const size_t at = bytes->rfind(kProgramMark);
    if (at == std::string::npos)
        return std::nullopt;
    const size_t begin = at + kProgramMark.size();
    const size_t end = bytes->find('\0', begin);
    if (end == std::string::npos || end == begin)
        return std::nullopt; // a damaged mark names nothing
    return Fold(FromUtf8(std::string_view(*bytes).substr(begin, end - begin)));
}
} // namespace detail
} // namespace sim
