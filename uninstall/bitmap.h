// The wizard's bitmap files: "BM" files with a 40-byte or longer header, 1, 4, 8 or 24 bits a pixel,
// no compression, whose colours and pixels lie inside the file. Anything else is left out.
#pragma once

#include "uninstall_state.h"

#include <optional>
#include <string_view>

namespace uninstall
{

struct ParsedBitmap
{
    std::string dib; // everything after the file header
    size_t bitsOffset = 0;
    UINT colours = 0;
};
std::optional<ParsedBitmap> ParseBitmapFile(std::string_view file);

// Reads and checks a file; makes its palette when it has colours. False leaves `out` empty.
bool LoadWizardBitmap(const char* path, WizardBitmap& out);
void FreeWizardBitmap(WizardBitmap& bitmap);

} // namespace uninstall
