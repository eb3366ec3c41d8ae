#include "ui_layout.h"

#include "devmode_reader.h"
#include "settings_record.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

namespace velmo
{

namespace
{
constexpr LONG kUiLetter = 1;
constexpr LONG kUiPostcard = 43;
constexpr LONG kLetter = 258;
constexpr LONG kPostcard = 257;
constexpr LONG kUiWithinMaximum = 257;

LONG PaperIdOf(LONG uiId)
{
    switch (uiId)
    {
    case kUiLetter:
        return kLetter;
    case kUiPostcard:
        return kPostcard;
    default:
        return uiId;
    }
}
} // namespace

bool IsUiLayout(std::span<const BYTE> devMode)
{
    DevModeReader in(devMode);
    return in.U16(offsetof(DEVMODEW, dmDriverVersion)) == kRecordDriverVersion &&
           in.DmSize() == kCmnDModeSize && in.DmDriverExtra() == kRecordPrivateSize &&
           in.U32(kRecordDevModeSize - 4, devMode.size()) == kSelfSignature;
}

void MergeUiLayout(SelfDMode& r, std::span<const BYTE> bytes, const WCHAR* printerName, LONG forceCopies)
{
    if (!IsUiLayout(bytes))
        return;
    auto ui = std::make_unique<SettingsRecord>();
    std::memcpy(ui.get(), bytes.data(), kRecordDevModeSize);

    // The same settings in this DLL's layout, then its own merge with its own limits.
    auto g = std::make_unique<SelfDMode>();
    std::memset(g.get(), 0, sizeof *g);
    g->dm = ui->dm;
    g->dm.dmDriverVersion = g_DriverVersion;
    g->dm.dmDriverExtra = kPrivateSize;
    g->dm.dmPaperSize = static_cast<short>(PaperIdOf(ui->dm.dmPaperSize));
    // This DLL's merge offers no user paper by id: a named one prints as a custom size of its size.
    if (const LONG user = ui->dm.dmPaperSize - kFirstUserPaperId; user >= 0 && user < kUserPaperCount)
    {
        const UserPaper& p = ui->userPapers[user];
        if (p.name[0] && p.width > 0 && p.height > 0)
        {
            g->dm.dmPaperSize = static_cast<short>(kCustomPaperId);
            g->dm.dmPaperWidth = static_cast<short>(std::min<LONG>(p.width, SHRT_MAX));
            g->dm.dmPaperLength = static_cast<short>(std::min<LONG>(p.height, SHRT_MAX));
        }
    }
    g->paperSource = ui->paperSource;
    g->paperOverride = r.paperOverride;
    g->paperId = PaperIdOf(ui->paperId);
    g->outputSize = ui->outputSize == kUiWithinMaximum ? 0 : PaperIdOf(ui->outputSize);
    g->zoom = (ui->zoom + 50) / 100;
    // The fields both layouts name alike.
#define SAME(field) g->field = ui->field;
    SAME(rotate)
    SAME(orientation)
    SAME(paperFeed)
    SAME(copies)
    SAME(collate)
    SAME(sets)
    SAME(customWidth)
    SAME(customHeight)
    SAME(userPaperFlag)
    SAME(densityAdjust)
    SAME(contrastAdjust)
    SAME(halftoneOn)
    SAME(documentTypeIndex)
    SAME(colorSeparation)
    SAME(separationInvert)
    SAME(separationColors)
    SAME(duplex)
    SAME(binding)
    SAME(colorAdjustment)
    SAME(uiValue4)
    SAME(uiValue5)
    SAME(uiValue6)
    SAME(uiValue7)
    SAME(grayShiftOn)
    SAME(grayShift)
#undef SAME
    std::memcpy(g->userPapers, ui->userPapers, sizeof g->userPapers);
    std::memcpy(g->finishing, ui->finishing, sizeof g->finishing);
    g->swingValue = static_cast<DWORD>(ui->swingValue);
    g->booklet = ui->layoutMode == 8 ? 1 : 0;
    g->signature = kSelfSignature;

    auto image = std::span<const BYTE>(reinterpret_cast<const BYTE*>(g.get()), kDevModeSize);
    _UdcMergeSelfDMode(r, image, printerName, forceCopies, CfcCheckMySelfDMode(image, printerName));
    // This merge keeps a booklet only through the duplex field, which the UI fills in its own way.
    r.booklet = g->booklet;
    _UdcUpdateCmnDModeArea(r, printerName);
}

} // namespace velmo
