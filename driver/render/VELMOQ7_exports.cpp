// The graphics DLL's exports: the engine's entry, and what marks it a user-mode printer driver.
#include <platform/dllentry.h>

#include "VELMOQ7_exports.h"
#include "enable.h"

PLATFORM_DLL_BEGIN(velmoq7)

BOOL APIENTRY DrvEnableDriver(ULONG engineVersion, ULONG size, DRVENABLEDATA* data)
{
    return velmoq7::DrvEnableDriver(engineVersion, size, data);
}

VOID APIENTRY DrvDisableDriver()
{
    velmoq7::DrvDisableDriver();
}

BOOL APIENTRY DrvQueryDriverInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed)
{
    return velmoq7::DrvQueryDriverInfo(mode, buffer, size, needed);
}

ULONG APIENTRY DrvEscape(SURFOBJ* surface, ULONG escape, ULONG inSize, PVOID in, ULONG outSize, PVOID out)
{
    return velmoq7::DrvEscape(surface, escape, inSize, in, outSize, out);
}

PIFIMETRICS APIENTRY DrvQueryFont(DHPDEV pdev, ULONG_PTR file, ULONG face, ULONG_PTR* id)
{
    return velmoq7::DrvQueryFont(pdev, file, face, id);
}

PVOID APIENTRY DrvQueryFontTree(DHPDEV pdev, ULONG_PTR file, ULONG face, ULONG mode, ULONG_PTR* id)
{
    return velmoq7::DrvQueryFontTree(pdev, file, face, mode, id);
}

LONG APIENTRY DrvQueryFontData(DHPDEV pdev, FONTOBJ* font, ULONG mode, HGLYPH glyph, GLYPHDATA* data,
                               PVOID buffer, ULONG size)
{
    return velmoq7::DrvQueryFontData(pdev, font, mode, glyph, data, buffer, size);
}

PLATFORM_DLL_END

PLATFORM_DLL_REGISTER(velmoq7, u"VELMOQ7.DLL", VELMOQ7_EXPORT_LIST)
