// The document sheet's pages: each shows and reads its part of the working record through the page
// models; buttons that open sub-dialogs and the preview picture come with those dialogs.
#include "page_document.h"

#include "page_models.h"
#include "sheet_host.h"
#include "spooler_printer.h"
#include "sub_dialogs.h"
#include "ui_settings.h"
#include "ui_strings.h"
#include "user_papers.h"

#include <platform/boundary.h>
#include <platform/commctrl.h>

#include <algorithm>
#include <memory>

namespace velmoui
{

namespace
{
WString Str(UINT id)
{
    return UiString(id);
}

void FillCombo(HWND combo, const std::vector<std::pair<WString, LONG_PTR>>& rows, LONG_PTR selected)
{
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    int at = -1;
    for (const auto& [text, data] : rows)
    {
        auto i = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(i), data);
        if (data == selected)
            at = static_cast<int>(i);
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(at < 0 ? 0 : at), 0);
}

LONG_PTR ComboData(HWND combo)
{
    auto i = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return i < 0 ? -1 : SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0);
}

void SetRange(HWND upDown, LONG low, LONG high)
{
    SendMessageW(upDown, UDM_SETRANGE32, static_cast<WPARAM>(low), high);
}

// The user's decimal notation for the zoom and other decimal fields.
WString Decimal()
{
    return DecimalSeparator();
}

class DocumentPage : public Page
{
protected:
    SettingsRecord& R() { return state->working; }
    const SettingsRecord& R() const { return state->working; }

    WString Summary() const override { return SummaryText(R(), Str, Decimal()); }

    void Notice(UINT message, LONG value = 0) const
    {
        if (!message)
            return;
        WString text = message == 564 ? FormatWithNumber(Str(message), value) : Str(message);
        ShowDesktopMessage(dialog, text.c_str(), SheetCaption().c_str());
    }

    SettingsRecord Defaults() const
    {
        SettingsRecord d = R();
        SpoolerPrinter port(state->printer);
        _UdcResetSelfDMode(d, port, state->printerName);
        return d;
    }
};

// ---- Paper ------------------------------------------------------------------------------------------

constexpr int kSource = 1102, kPaper = 1104, kWarnIcon = 1105, kWarnText = 1106, kUserPapers = 1107,
              kOutput = 1109, kUserZoom = 1110, kZoomEdit = 1111, kZoomSpin = 1112, kPortrait = 1117,
              kLandscape = 1118, kCopies = 1121, kCopiesSpin = 1122, kCopiesLabel = 1123, kSets = 1125,
              kSetsSpin = 1126;

const HelpRow g_PaperHelp[] = {
    {kSource, TEXT("idh_paper_source")},    {kPaper, TEXT("idh_document_size")},
    {kUserPapers, TEXT("idh_custom_size")}, {kOutput, TEXT("idh_output_size")},
    {kUserZoom, TEXT("idh_user_zoom")},     {kZoomEdit, TEXT("idh_user_zoom")},
    {kZoomSpin, TEXT("idh_user_zoom")},     {kPortrait, TEXT("idh_orientation")},
    {kLandscape, TEXT("idh_orientation")},  {kCopies, TEXT("idh_copies")},
    {kCopiesSpin, TEXT("idh_copies")},      {kSets, TEXT("idh_sets")},
    {kSetsSpin, TEXT("idh_sets")},          {kRestoreDefaults, TEXT("idh_restore_defaults")},
    {kSummary, TEXT("idh_summary")},
};

class PaperPage : public DocumentPage
{
public:
    void Init() override
    {
        SetRange(Item(kZoomSpin), kZoomMin / 10, kZoomMax / 10);
        // The zoom steps in tenths of a percent; its arrows move whole percents.
        UDACCEL accel[8] = {};
        auto n = SendDlgItemMessageW(dialog, kZoomSpin, UDM_GETACCEL, std::size(accel),
                                     reinterpret_cast<LPARAM>(accel));
        n = std::clamp<LRESULT>(n, 0, static_cast<LRESULT>(std::size(accel)));
        for (LRESULT i = 0; i < n; ++i)
            accel[i].nInc *= 10;
        if (n > 0)
            SendDlgItemMessageW(dialog, kZoomSpin, UDM_SETACCEL, static_cast<WPARAM>(n),
                                reinterpret_cast<LPARAM>(accel));
        SetRange(Item(kSetsSpin), 1, kMaxSets);
        SendDlgItemMessageW(dialog, kCopies, EM_LIMITTEXT, 4, 0);
        ShowSystemIcon(kWarnIcon, IDI_WARNING);
        SendDlgItemMessageW(dialog, kSets, EM_LIMITTEXT, 2, 0);
        SendDlgItemMessageW(dialog, kZoomEdit, EM_LIMITTEXT, 12, 0);
    }

    void Load() override
    {
        SettingsRecord& r = R();
        std::vector<std::pair<WString, LONG_PTR>> rows;
        auto bins = OfferedBins(r);
        for (size_t i = 0; i < bins.size(); ++i)
            rows.emplace_back(Str(508 + static_cast<UINT>(i)), bins[i].value);
        FillCombo(Item(kSource), rows, r.paperSource);
        rows.clear();
        for (int i = 0; i < OfferedPaperCount(r); ++i)
        {
            LONG id = OfferedPaperId(r, i);
            rows.emplace_back(NameOf(id), id);
        }
        FillCombo(Item(kPaper), rows, r.paperId);
        rows.clear();
        for (const PaperRow& row : OutputSizeList(r.modelPaperListType))
            rows.emplace_back(NameOf(row.id), row.id);
        FillCombo(Item(kOutput), rows, r.outputSize);
        SetChecked(kUserZoom, r.zoomMode == 1);
        SetText(kZoomEdit, FormatDecimal(r.zoom / 10, 1, Decimal()));
        SendDlgItemMessageW(dialog, kZoomSpin, UDM_SETPOS32, 0, r.zoom / 10);
        CheckRadioButton(dialog, kPortrait, kLandscape,
                         r.orientation == DMORIENT_LANDSCAPE ? kLandscape : kPortrait);
        LONG limit = CopyLimit(r);
        SetRange(Item(kCopiesSpin), 1, limit);
        SetText(kCopies, FormatDecimal(r.copies, 0, TEXT("")));
        SetText(kSets, FormatDecimal(r.sets, 0, TEXT("")));
        SetText(kCopiesLabel, FormatWithNumber(Str(610), limit));
        bool tooLarge = PaperTooLarge(r);
        Show(kWarnIcon, tooLarge);
        Show(kWarnText, tooLarge);
        bool user = r.zoomMode == 1 && state->editable;
        Enable(kOutput, !user && state->editable);
        for (int id : {kZoomEdit, kZoomSpin})
            Enable(id, user);
    }

    bool Command(int control, int code) override
    {
        SettingsRecord& r = R();
        if (code == CBN_SELCHANGE)
        {
            LONG_PTR data = ComboData(Item(control));
            if (data < 0)
                return false;
            if (control == kSource)
                r.paperSource = static_cast<LONG>(data);
            else if (control == kPaper || control == kOutput)
            {
                (control == kPaper ? r.paperId : r.outputSize) = static_cast<LONG>(data);
                if (r.zoomMode == 0)
                    r.zoom = AutomaticZoom(r);
                Transition t = DuplexCheck(r);
                Notice(t.message);
                Reload();
            }
            else
                return false;
            return true;
        }
        if (code == BN_CLICKED)
        {
            switch (control)
            {
            case kUserZoom:
                r.zoomMode = Checked(kUserZoom) ? 1 : 0;
                if (r.zoomMode == 0)
                    r.zoom = AutomaticZoom(r);
                Reload();
                return true;
            case kPortrait:
            case kLandscape:
                r.orientation = control == kLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
                return true;
            case kRestoreDefaults:
                RestorePaperDefaults(r, Defaults());
                Reload();
                return true;
            case kUserPapers:
                return EditUserPapers();
            default:
                return false;
            }
        }
        return code == EN_CHANGE && (control == kZoomEdit || control == kCopies || control == kSets);
    }

    // The zoom's up-down steps tenths of a percent; the edit shows them with one decimal.
    bool Scroll(HWND control) override
    {
        if (control != Item(kZoomSpin))
            return false;
        LONG tenths = static_cast<LONG>(SendMessageW(control, UDM_GETPOS32, 0, 0));
        R().zoom = Clamp(int64_t{tenths} * 10, kZoomMin, kZoomMax);
        loading = true;
        SetText(kZoomEdit, FormatDecimal(R().zoom / 10, 1, Decimal()));
        loading = false;
        return true;
    }

    bool Leave() override
    {
        SettingsRecord& r = R();
        TypedPaperFields typed{ParseDecimal(Text(kCopies), 0), ParseDecimal(Text(kSets), 0),
                               ParseDecimal(Text(kZoomEdit), 2)};
        Correction c = CorrectPaper(r, typed);
        if (c.message)
            Notice(c.message, c.messageValue);
        if (c.corrected)
        {
            Reload();
            if (c.focus)
                SetFocus(Item(c.focus));
        }
        return !c.corrected;
    }

    std::span<const HelpRow> HelpTable() const override { return g_PaperHelp; }
    const WCHAR* Keyword() const override { return TEXT("Paper tab"); }

private:
    // The papers may have moved, gone or changed size: the lists are refilled and the choices kept.
    bool EditUserPapers()
    {
        SettingsRecord& r = R();
        if (RunUserPaperDialog(dialog, *state, SheetCaption()) != IDOK)
            return false;
        KeepPaperChoices(r);
        if (r.zoomMode == 0)
            r.zoom = AutomaticZoom(r);
        Notice(DuplexCheck(r).message);
        Reload();
        return true;
    }

    WString NameOf(LONG id) const
    {
        if (id >= kFirstUserPaperId)
            for (const auto& p : R().userPapers)
                if (p.id == id)
                    return WString(p.name, std::find(std::begin(p.name), std::end(p.name), WCHAR{0}));
        UINT nameId = PaperNameId(id);
        return nameId ? Str(nameId) : WString();
    }
};

// ---- Layout -----------------------------------------------------------------------------------------

constexpr int kRotate = 1202, kByPaper = 1203, kByImage = 1204, kFeedPortrait = 1208, kFeedLandscape = 1209,
              kModes = 1211, kPagesPerSheet = 1212, kBorder = 1213, kLayoutDetails = 1214,
              kDuplexLabel = 1215, kDuplex = 1216, kBinding = 1217, kOneMaster = 1218, kDuplexHelp = 1219;

const HelpRow g_LayoutHelp[] = {
    {kRotate, TEXT("idh_rotate_180")},
    {kByPaper, TEXT("idh_rotate_reference")},
    {kByImage, TEXT("idh_rotate_reference")},
    {kFeedPortrait, TEXT("idh_paper_feed")},
    {kFeedLandscape, TEXT("idh_paper_feed")},
    {kModes, TEXT("idh_layout_mode")},
    {kPagesPerSheet, TEXT("idh_pages_per_sheet")},
    {kBorder, TEXT("idh_page_border")},
    {kLayoutDetails, TEXT("idh_layout_details")},
    {kDuplex, TEXT("idh_duplex")},
    {kBinding, TEXT("idh_binding")},
    {kOneMaster, TEXT("idh_duplex_same_both_sides")},
    {kRestoreDefaults, TEXT("idh_restore_defaults")},
    {kSummary, TEXT("idh_summary")},
};

class LayoutPage : public DocumentPage
{
public:
    void Init() override
    {
        SpoolerPrinter port(state->printer);
        caps_ = ReadPrintProcCaps(port, true);
        word_ = LayoutFeatureWord(caps_, state->osCode, R());
        ShowHelpIcon(kDuplexHelp);
    }

    void Load() override
    {
        SettingsRecord& r = R();
        const bool edit = state->editable != FALSE;
        SetChecked(kRotate, r.rotate180 != 0);
        CheckRadioButton(dialog, kByPaper, kByImage, r.rotateReference ? kByPaper : kByImage);
        Enable(kByPaper, edit && r.rotate180);
        Enable(kByImage, edit && r.rotate180);
        CheckRadioButton(dialog, kFeedPortrait, kFeedLandscape,
                         r.paperFeed == 2 ? kFeedLandscape : kFeedPortrait);
        if (LayoutListShown(word_))
        {
            std::vector<std::pair<WString, LONG_PTR>> rows;
            for (const LayoutModeRow& row : g_LayoutModeList)
                if (row.mode && (static_cast<DWORD>(row.featureBit) & word_))
                    rows.emplace_back(Str(static_cast<UINT>(row.stringId)), row.mode);
            FillCombo(Item(kModes), rows, r.layoutMode);
            rows.clear();
            if (r.layoutMode == kModeSplit || r.layoutMode == kModeCombination)
                for (LONG n : PagesPerSheetChoices(caps_))
                    rows.emplace_back(FormatWithNumber(Str(r.layoutMode == kModeSplit ? 589 : 590), n), n);
            FillCombo(Item(kPagesPerSheet), rows, r.pagesPerSheet);
            Enable(kModes, edit);
            Enable(kPagesPerSheet, edit && !rows.empty());
            SetChecked(kBorder, r.nupBorderOff == 0);
            Enable(kBorder, edit && (word_ & 0x8000000));
            Enable(kLayoutDetails, edit && ((r.layoutMode == kModeCombination && (word_ & 0x20000000)) ||
                                            (r.layoutMode == kModeBooklet && (word_ & 0x40000000))));
        }
        else
        {
            r.layoutMode = kModeStandard;
            r.pagesPerSheet = 2;
            r.nupBorderOff = 0;
            for (int id : {kModes, kPagesPerSheet, kBorder, kLayoutDetails})
                Enable(id, false);
        }
        const bool duplexModel = (r.capabilityFlags & kCapDuplex) != 0;
        for (int id : {kDuplexLabel, kDuplex, kBinding, kOneMaster, kDuplexHelp})
            Show(id, duplexModel);
        if (duplexModel)
        {
            SetChecked(kDuplex, r.duplex != 0);
            std::vector<std::pair<WString, LONG_PTR>> rows;
            LONG_PTR data = 0;
            for (UINT id : BindingChoices(r))
                rows.emplace_back(Str(id), data++);
            FillCombo(Item(kBinding), rows, r.layoutMode == kModeBooklet ? 0 : r.binding);
            SetChecked(kOneMaster, r.sameMasterBothSides != 0);
            Enable(kDuplex, edit);
            Enable(kOneMaster, edit && r.duplex && r.layoutMode != kModeBooklet);
            Enable(kBinding, edit && r.duplex && !r.sameMasterBothSides && r.layoutMode != kModeBooklet);
        }
    }

    bool Command(int control, int code) override
    {
        SettingsRecord& r = R();
        if (control == kDuplexHelp && code == STN_CLICKED)
        {
            ShowHelpKeyword(*state, dialog, TEXT("idh_duplex_same_both_sides"));
            return false;
        }
        if (code == CBN_SELCHANGE)
        {
            LONG_PTR data = ComboData(Item(control));
            if (data < 0)
                return false;
            if (control == kModes)
            {
                Transition t = ChooseLayoutMode(r, static_cast<LONG>(data), word_);
                Notice(t.message);
                Reload();
                return t.taken;
            }
            if (control == kPagesPerSheet)
                r.pagesPerSheet = static_cast<LONG>(data);
            else if (control == kBinding && r.layoutMode != kModeBooklet)
                r.binding = static_cast<LONG>(data);
            else
                return false;
            return true;
        }
        if (code != BN_CLICKED)
            return false;
        switch (control)
        {
        case kRotate:
            r.rotate180 = Checked(kRotate) ? 1 : 0;
            break;
        case kByPaper:
        case kByImage:
            r.rotateReference = control == kByPaper ? 1 : 0;
            return true;
        case kFeedPortrait:
        case kFeedLandscape:
            r.paperFeed = control == kFeedLandscape ? 2 : 1;
            if (r.zoomMode == 0)
                r.zoom = AutomaticZoom(r);
            Notice(DuplexCheck(r).message);
            break;
        case kBorder:
            r.nupBorderOff = Checked(kBorder) ? 0 : 1;
            return true;
        case kDuplex:
            Notice(SetDuplex(r, Checked(kDuplex)).message);
            break;
        case kOneMaster:
            r.sameMasterBothSides = Checked(kOneMaster) ? 1 : 0;
            break;
        case kRestoreDefaults: {
            SettingsRecord d = Defaults();
            r.rotate180 = d.rotate180;
            r.rotateReference = d.rotateReference;
            r.paperFeed = d.paperFeed;
            r.layoutMode = d.layoutMode;
            r.pagesPerSheet = d.pagesPerSheet;
            r.nupBorderOff = d.nupBorderOff;
            r.duplex = d.duplex;
            r.binding = d.binding;
            r.sameMasterBothSides = d.sameMasterBothSides;
            break;
        }
        case kLayoutDetails:
            if (r.layoutMode == kModeCombination)
                return RunOrderDialog(dialog, r) == IDOK;
            if (r.layoutMode == kModeBooklet)
                return RunBindingDialog(dialog, r) == IDOK;
            return false;
        default:
            return false;
        }
        Reload();
        return true;
    }

    bool Leave() override { return true; }
    std::span<const HelpRow> HelpTable() const override { return g_LayoutHelp; }
    const WCHAR* Keyword() const override { return TEXT("Layout tab"); }

private:
    std::optional<PrintProcCaps> caps_;
    DWORD word_ = 0;
};

// ---- Graphics ---------------------------------------------------------------------------------------

constexpr int kDocumentType = 1302, kDitherType = 1304, kBrightness = 1309, kBrightnessValue = 1310,
              kContrast = 1314, kContrastValue = 1315, kGrayOn = 1317, kGrayLabel = 1320, kGrayEdit = 1318,
              kGraySpin = 1319, kHalftone = 1321, kInkSave = 1322, kEdge = 1323;

const HelpRow g_GraphicsHelp[] = {
    {kDocumentType, TEXT("idh_document_type")},
    {kDitherType, TEXT("idh_dither_type")},
    {kBrightness, TEXT("idh_brightness")},
    {kBrightnessValue, TEXT("idh_brightness")},
    {kContrast, TEXT("idh_contrast")},
    {kContrastValue, TEXT("idh_contrast")},
    {kGrayOn, TEXT("idh_darker_printing")},
    {kGrayEdit, TEXT("idh_darker_printing")},
    {kGraySpin, TEXT("idh_darker_printing")},
    {kGrayLabel, TEXT("idh_darker_printing")},
    {kHalftone, TEXT("idh_dither_processing")},
    {kEdge, TEXT("idh_edge_emphasis")},
    {kRestoreDefaults, TEXT("idh_restore_defaults")},
    {kSummary, TEXT("idh_summary")},
};

class GraphicsPage : public DocumentPage
{
public:
    void Init() override
    {
        for (int id : {kBrightness, kContrast})
        {
            SendDlgItemMessageW(dialog, id, TBM_SETRANGEMIN, FALSE, kAdjustMin);
            SendDlgItemMessageW(dialog, id, TBM_SETRANGEMAX, TRUE, kAdjustMax);
        }
        SetRange(Item(kGraySpin), kAdjustMin, kAdjustMax);
        SendDlgItemMessageW(dialog, kGrayEdit, EM_LIMITTEXT, 3, 0);
        Show(kInkSave, false);
    }

    void Load() override
    {
        SettingsRecord& r = R();
        HWND list = Item(kDocumentType);
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        for (UINT id : g_DocumentTypeNames)
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Str(id).c_str()));
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(DocumentTypeRow(r.documentType)), 0);
        FillCombo(Item(kDitherType), {{Str(540), 0}, {Str(536), 1}}, r.ditherType == 0 ? 0 : 1);
        r.densityAdjust = Clamp(r.densityAdjust, kAdjustMin, kAdjustMax);
        r.contrastAdjust = Clamp(r.contrastAdjust, kAdjustMin, kAdjustMax);
        SendDlgItemMessageW(dialog, kBrightness, TBM_SETPOS, TRUE, r.densityAdjust);
        SendDlgItemMessageW(dialog, kContrast, TBM_SETPOS, TRUE, r.contrastAdjust);
        SetText(kBrightnessValue, FormatDecimal(r.densityAdjust, 0, TEXT("")));
        SetText(kContrastValue, FormatDecimal(r.contrastAdjust, 0, TEXT("")));
        SetChecked(kGrayOn, r.grayShiftOn != 0);
        SetText(kGrayEdit, FormatDecimal(r.grayShift, 0, TEXT("")));
        for (int id : {kGrayEdit, kGraySpin, kGrayLabel})
            Enable(id, state->editable && r.grayShiftOn);
        SetChecked(kHalftone, r.halftoneOn != 0);
        SetChecked(kEdge, r.edgeEmphasis != 0);
    }

    bool Command(int control, int code) override
    {
        SettingsRecord& r = R();
        if (control == kDocumentType && code == LBN_SELCHANGE)
        {
            auto row = SendMessageW(Item(kDocumentType), LB_GETCURSEL, 0, 0);
            r.documentType = DocumentTypeRow(static_cast<LONG>(row));
            return true;
        }
        if (control == kDitherType && code == CBN_SELCHANGE)
        {
            r.ditherType = ComboData(Item(kDitherType)) == 0 ? 0 : 1;
            return true;
        }
        if (control == kGrayEdit && code == EN_CHANGE)
            return true;
        if (code != BN_CLICKED)
            return false;
        switch (control)
        {
        case kGrayOn:
            r.grayShiftOn = Checked(kGrayOn) ? 1 : 0;
            Reload();
            return true;
        case kHalftone:
            r.halftoneOn = Checked(kHalftone) ? 1 : 0;
            return true;
        case kEdge:
            r.edgeEmphasis = Checked(kEdge) ? 1 : 0;
            return true;
        case kRestoreDefaults: {
            SettingsRecord d = Defaults();
            r.documentType = d.documentType;
            r.ditherType = d.ditherType;
            r.densityAdjust = d.densityAdjust;
            r.contrastAdjust = d.contrastAdjust;
            r.grayShiftOn = d.grayShiftOn;
            r.grayShift = d.grayShift;
            r.halftoneOn = d.halftoneOn;
            r.edgeEmphasis = d.edgeEmphasis;
            Reload();
            return true;
        }
        default:
            return false;
        }
    }

    // A track bar moved by the user counts as a change at once.
    bool Scroll(HWND bar) override
    {
        SettingsRecord& r = R();
        LONG position = static_cast<LONG>(SendMessageW(bar, TBM_GETPOS, 0, 0));
        if (bar == Item(kBrightness))
        {
            r.densityAdjust = Clamp(position, kAdjustMin, kAdjustMax);
            SetText(kBrightnessValue, FormatDecimal(r.densityAdjust, 0, TEXT("")));
            return true;
        }
        if (bar == Item(kContrast))
        {
            r.contrastAdjust = Clamp(position, kAdjustMin, kAdjustMax);
            SetText(kContrastValue, FormatDecimal(r.contrastAdjust, 0, TEXT("")));
            return true;
        }
        return false;
    }

    bool Leave() override
    {
        Correction c = CorrectGrayShift(R(), ParseDecimal(Text(kGrayEdit), 0));
        if (c.corrected)
            Reload();
        return !c.corrected;
    }

    std::span<const HelpRow> HelpTable() const override { return g_GraphicsHelp; }
    const WCHAR* Keyword() const override { return TEXT("Graphics tab"); }
};

// ---- Colour separation ------------------------------------------------------------------------------

constexpr int kSeparation = 1401, kChosen = 1402, kOthers = 1403, kFirstColour = 1405, kLastColour = 1411,
              kSwingLabel = 1422, kSwing = 1420, kSwingSpin = 1421;

const HelpRow g_ColourHelp[] = {
    {kSeparation, TEXT("idh_color_separation")},
    {kChosen, TEXT("idh_separation_output")},
    {kOthers, TEXT("idh_separation_output")},
    {1405, TEXT("idh_separation_colors")},
    {1406, TEXT("idh_separation_colors")},
    {1407, TEXT("idh_separation_colors")},
    {1408, TEXT("idh_separation_colors")},
    {1409, TEXT("idh_separation_colors")},
    {1410, TEXT("idh_separation_colors")},
    {1411, TEXT("idh_separation_colors")},
    {kSwing, TEXT("idh_swing_value")},
    {kSwingSpin, TEXT("idh_swing_value")},
    {kHalftone, TEXT("idh_dither_processing")},
    {kRestoreDefaults, TEXT("idh_restore_defaults")},
    {kSummary, TEXT("idh_summary")},
};

class ColourPage : public DocumentPage
{
public:
    void Init() override
    {
        SetRange(Item(kSwingSpin), 1, 255);
        SendDlgItemMessageW(dialog, kSwing, EM_LIMITTEXT, 3, 0);
    }

    void Load() override
    {
        SettingsRecord& r = R();
        SetChecked(kSeparation, r.colorSeparation != 0);
        CheckRadioButton(dialog, kChosen, kOthers, r.separationInvert ? kChosen : kOthers);
        for (int id = kFirstColour; id <= kLastColour; ++id)
            SetChecked(id, (r.separationColors >> (id - kFirstColour)) & 1);
        SetText(kSwing, FormatDecimal(r.swingValue, 0, TEXT("")));
        SetChecked(kHalftone, r.halftoneOn != 0);
        const bool on = state->editable && r.colorSeparation;
        for (int id = kChosen; id <= kSwingLabel; ++id)
            if (id != kSeparation)
                Enable(id, on);
    }

    bool Command(int control, int code) override
    {
        SettingsRecord& r = R();
        if (control == kSwing && code == EN_CHANGE)
            return true;
        if (code != BN_CLICKED)
            return false;
        if (control >= kFirstColour && control <= kLastColour)
        {
            LONG bit = 1L << (control - kFirstColour);
            r.separationColors = Checked(control) ? (r.separationColors | bit) : (r.separationColors & ~bit);
            return true;
        }
        switch (control)
        {
        case kSeparation:
            r.colorSeparation = Checked(kSeparation) ? 1 : 0;
            Reload();
            return true;
        case kChosen:
        case kOthers:
            r.separationInvert = control == kChosen ? 1 : 0;
            return true;
        case kHalftone:
            r.halftoneOn = Checked(kHalftone) ? 1 : 0;
            return true;
        case kRestoreDefaults: {
            SettingsRecord d = Defaults();
            r.colorSeparation = d.colorSeparation;
            r.separationInvert = d.separationInvert;
            r.separationColors = d.separationColors;
            r.swingValue = d.swingValue;
            r.halftoneOn = d.halftoneOn;
            Reload();
            return true;
        }
        default:
            return false;
        }
    }

    bool Leave() override
    {
        Correction c = CorrectSwingValue(R(), ParseDecimal(Text(kSwing), 0));
        if (c.corrected)
            Reload();
        return !c.corrected;
    }

    std::span<const HelpRow> HelpTable() const override { return g_ColourHelp; }
    const WCHAR* Keyword() const override { return TEXT("Color Separation tab"); }
};

// ---- Options ----------------------------------------------------------------------------------------

constexpr int kOnline = 1503, kPreviewMode = 1505, kTape = 1507, kMemory = 1509, kUserNumber = 1511,
              kUserNumberSpin = 1512, kUserIdIcon = 1513, kOpenPrefsLabel = 1514, kOpenPrefs = 1515;

const HelpRow g_OptionsHelp[] = {
    {kOnline, TEXT("idh_online_mode")},
    {kPreviewMode, TEXT("idh_preview_mode")},
    {kTape, TEXT("idh_tape_cluster")},
    {kMemory, TEXT("idh_memory_storage")},
    {kUserNumber, TEXT("idh_user_number")},
    {kUserNumberSpin, TEXT("idh_user_number")},
    {kUserIdIcon, TEXT("idh_user_number")},
    {kOpenPrefs, TEXT("idh_open_printing_preferences")},
    {kRestoreDefaults, TEXT("idh_restore_defaults")},
    {kSummary, TEXT("idh_summary")},
};

class OptionsPage : public DocumentPage
{
public:
    void Init() override
    {
        SetRange(Item(kUserNumberSpin), 0, 100);
        SendDlgItemMessageW(dialog, kUserNumber, EM_LIMITTEXT, 3, 0);
        ShowHelpIcon(kUserIdIcon);
        const LONG caps = R().capabilityFlags;
        auto group = [&](int list, bool shown) {
            Show(list - 1, shown);
            Show(list, shown);
        };
        group(kOnline, caps & kCapOptionB1);
        group(kPreviewMode, caps & kCapOptionB2);
        group(kTape, caps & kCapOptionA);
        group(kMemory, caps & kCapMemoryStorage);
        group(kUserNumber, caps & kCapMemoryStorage);
        Show(kUserNumberSpin, caps & kCapMemoryStorage);
        Show(kUserIdIcon, caps & kCapMemoryStorage);
        const bool prefs = state->kind == kSheetDocument || state->kind == kSheetAdvanced;
        Show(kOpenPrefsLabel, prefs);
        Show(kOpenPrefs, prefs);
    }

    void Load() override
    {
        SettingsRecord& r = R();
        FillCombo(Item(kOnline), {{Str(522), 0}, {Str(523), 1}, {Str(524), 2}}, r.finishing[3]);
        FillCombo(Item(kPreviewMode), {{Str(522), 0}, {Str(526), 1}, {Str(525), 2}}, r.finishing[4]);
        std::vector<std::pair<WString, LONG_PTR>> rows;
        for (int i = 0; i < 4; ++i)
            rows.emplace_back(Str(g_TapeClusterNames[i]), i);
        FillCombo(Item(kTape), rows, TapeClusterRow(r));
        rows.clear();
        for (WORD v : g_MemoryStorageValues)
            rows.emplace_back(Str(MemoryStorageName(v)), v);
        FillCombo(Item(kMemory), rows, r.memoryStorage);
        SetText(kUserNumber, FormatDecimal(r.userNumber, 0, TEXT("")));
        Enable(kUserNumber, state->editable && r.memoryStorage == 4);
        Enable(kUserNumberSpin, state->editable && r.memoryStorage == 4);
    }

    bool Command(int control, int code) override
    {
        SettingsRecord& r = R();
        if (control == kUserNumber && code == EN_CHANGE)
            return true;
        if (control == kUserIdIcon && code == STN_CLICKED)
        {
            RunUserIdDialog(dialog, SheetCaption());
            return false;
        }
        if (code == CBN_SELCHANGE)
        {
            LONG_PTR data = ComboData(Item(control));
            if (data < 0)
                return false;
            switch (control)
            {
            case kOnline:
                r.finishing[3] = static_cast<LONG>(data);
                return true;
            case kPreviewMode:
                r.finishing[4] = static_cast<LONG>(data);
                return true;
            case kTape:
                SetTapeCluster(r, static_cast<int>(data));
                return true;
            case kMemory:
                r.memoryStorage = static_cast<WORD>(data);
                Reload();
                return true;
            default:
                return false;
            }
        }
        if (code != BN_CLICKED)
            return false;
        if (control == kOpenPrefs)
        {
            OpenPrintingPreferences();
            return false;
        }
        if (control == kRestoreDefaults)
        {
            SettingsRecord d = Defaults();
            std::copy(std::begin(d.finishing), std::end(d.finishing), std::begin(r.finishing));
            r.memoryStorage = d.memoryStorage;
            r.userNumber = d.userNumber;
            Reload();
            return true;
        }
        return false;
    }

    bool Leave() override
    {
        if (R().memoryStorage != 4)
            return true;
        Correction c = CorrectUserNumber(R(), ParseDecimal(Text(kUserNumber), 0));
        if (c.corrected)
            Reload();
        return !c.corrected;
    }

    std::span<const HelpRow> HelpTable() const override { return g_OptionsHelp; }
    const WCHAR* Keyword() const override { return TEXT("Options tab"); }

private:
    void OpenPrintingPreferences() const
    {
        WString caption = SheetCaption();
        WString text = FormatWithText(Str(617), caption);
        if (MessageBoxW(dialog, text.c_str(), caption.c_str(), MB_ICONINFORMATION | MB_OKCANCEL) != IDOK)
            return;
        UINT n = GetSystemDirectoryW(nullptr, 0);
        if (!n)
            return;
        WString system(n, 0);
        n = GetSystemDirectoryW(system.data(), n);
        system.resize(n);
        auto line = PrintUiCommandLine(system, state->printerName);
        if (!line)
            return;
        WString application = system + TEXT("\\rundll32.exe");
        WString writable = *line;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (CreateProcessW(application.c_str(), writable.data(), nullptr, nullptr, FALSE,
                           NORMAL_PRIORITY_CLASS, nullptr, system.c_str(), &startup, &process))
        {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
};

template <typename T> std::unique_ptr<Page> Make()
{
    return std::make_unique<T>();
}

template <typename T> INT_PTR CALLBACK PageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return platform::Boundary(INT_PTR{FALSE},
                              [&] { return PageDialogProc(Make<T>, dialog, message, wParam, lParam); });
}
} // namespace

DLGPROC DocumentPageProcedure(WORD templateId)
{
    switch (templateId)
    {
    case 111:
    case 151:
        return PageProc<PaperPage>;
    case 112:
    case 152:
        return PageProc<LayoutPage>;
    case 113:
    case 153:
        return PageProc<GraphicsPage>;
    case 114:
    case 154:
        return PageProc<ColourPage>;
    case 115:
    case 155:
        return PageProc<OptionsPage>;
    default:
        return nullptr;
    }
}

} // namespace velmoui
