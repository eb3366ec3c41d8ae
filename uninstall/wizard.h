// The wizard: a minimised main window owning the frame dialog, which holds the four pages.
#pragma once

#include "second_stage.h"
#include "uninstall_state.h"
#include "worker.h"

namespace uninstall
{

// Application messages (absolute values).
constexpr UINT kMsgSetup = 1124;
constexpr UINT kMsgCurrent = 1126;
constexpr UINT kMsgNext = 1127;
constexpr UINT kMsgBack = 1128;
constexpr UINT kMsgClose = 1129;
constexpr UINT kMsgStartWorker = 1130;
constexpr UINT kMsgWorkerDone = 1131;
constexpr UINT kMsgWorkerFailed = 1132;

// Dialogs and controls.
constexpr int kDialogProgress = 101;
constexpr int kDialogFinish = 105;
constexpr int kDialogFrame = 144;
constexpr int kDialogRestart = 145;
constexpr int kDialogWelcome = 146;
constexpr int kIconProgram = 120;
constexpr int kIdBack = 1020;
constexpr int kIdNext = 1021;
constexpr int kIdLineTop = 1022;
constexpr int kIdLineBottom = 1023;
constexpr int kIdProgress = 1000;
constexpr int kIdStatus = 1025;
constexpr int kIdRestartNow = 1026;
constexpr int kIdRestartLater = 1027;

enum Page
{
    kPageWelcome,
    kPageProgress,
    kPageFinish,
    kPageRestart,
};

// The removal worker and the second stage, reached through these so a test may stand in for them. The
// worker starts on the progress page and posts kMsgWorkerDone or kMsgWorkerFailed to it; it returns its
// thread (null: it could not start).
struct RemovalHooks
{
    HANDLE (*startWorker)(HWND progressPage) = &StartUninstallThread;
    void (*launchSecondStage)() = &LaunchSecondStage; // when the wizard closes after a finished removal
    int (*runSecondStage)(const char* commandLine) = &RunSecondStage; // "-u"
};
void SetRemovalHooks(const RemovalHooks& hooks);
const RemovalHooks& Hooks();

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The status line of the progress page, shortened to fit.
void SetStatusText(HWND progressPage, const char* text);

} // namespace uninstall
