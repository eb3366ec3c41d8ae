// DLL search hardening at start-up: only System32 for libraries loaded later, the current folder out
// of the search, safe search mode; each step only where the system has it.
#pragma once

namespace launch
{

enum class CharacterWidth
{
    Narrow, // the launcher's A functions
    Wide,
};

void HardenDllSearch(CharacterWidth width);

} // namespace launch
