#include "commands.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "accessibility.h"
#include "drawing.h"
#include "front_end.h"
#include "keyboard_focus.h"
#include "late_binding.h"
#include "message_box.h"
#include "progress_display.h"
#include "skin.h"

namespace {

constexpr char kNoFile[] = "c:\\NoFile";
constexpr char kCloseWhileBusyText[] =
    "A BIOS update or save is running.\nPlease wait until it has ended before you close Zorvik.";
constexpr char kLauncherFile[] = "Pronnel.exe";
constexpr char kLauncherCommandLine[] = "Pronnel.exe /zorvik";
constexpr char kHelpFile[] = "Zorvik.chm";
constexpr UINT kServerPollMs = 200;
constexpr UINT kFilePollMs = 50;
constexpr UINT kSavePollMs = 200;
constexpr int kStatusBoxRight = 355;

constexpr char kAboutKey[] = "SOFTWARE\\NORVANE\\Zorvik";
constexpr char kAboutValue[] = "BuildVersion";
constexpr char kAboutFirstLine[] = "Norvane Zorvik Writer Ver.2.34 ";
constexpr char kAboutCopyright[] = "Copyright (C) 2026 Norvane Technology. All rights reserved.";
constexpr char kAboutCaption[] = "About Norvane Zorvik Writer";

int KeepDmi() { return FrontEnd.clearDmi == 0 ? 1 : 0; }
int LoadCmosDefaults() { return FrontEnd.skipCmosDefault == 0 ? 1 : 0; }

DWORD WINAPI SaveThread(void*) {
    FrontEnd.SaveBIOS(0, kNoFile);
    return 0;
}

DWORD WINAPI ServerUpdateThread(void*) {
    FrontEnd.FlashBIOS(0, kNoFile, KeepDmi(), LoadCmosDefaults(), 0);
    return 0;
}

DWORD WINAPI FileUpdateThread(void*) {
    FrontEnd.FlashBIOS(1, kNoFile, KeepDmi(), LoadCmosDefaults(), 0);
    return 0;
}

void StartBiosCommand(HWND window, LPTHREAD_START_ROUTINE thread, UINT pollMs) {
    FrontEnd.busy = 1;
    SkinElementTable& table = FrontEnd.skin;
    HDC dc = GetDC(window);
    for (int i = 0; i < table.count; ++i) {
        table.elements[i].disabled = 1;
        table.elements[i].hover = 0;  // the pointer's next move finds them again
        if (IsWideButton(i)) DrawElement(dc, i, Look::kDisabled);
        if (i == FrontEnd.focusIndex) RedrawElement(dc, i);  // the focus look goes until the end
        NotifyStateChange(window, i);
    }
    ReleaseDC(window, dc);
    KillTimer(window, kLogoTimer);
    SetTimer(window, kProgressTimer, pollMs, nullptr);
    // The handle is kept: the command runs until its thread has ended, even
    // before the thread has set the engine's Busy.
    if (FrontEnd.commandThread != nullptr) CloseHandle(FrontEnd.commandThread);
    FrontEnd.commandThread = CreateThread(nullptr, 0, thread, nullptr, 0, &FrontEnd.commandThreadId);
}

bool CommandThreadAlive() {
    if (FrontEnd.commandThread == nullptr) return false;
    if (WaitForSingleObject(FrontEnd.commandThread, 0) == WAIT_TIMEOUT) return true;
    CloseHandle(FrontEnd.commandThread);
    FrontEnd.commandThread = nullptr;
    return false;
}

// Help and the launcher lie beside the program; one that is missing or does
// not start is named in a box.
bool PresentBeside(HWND window, const char* file) {
    SetCurrentDirectoryA(FrontEnd.programDir.c_str());
    if (GetFileAttributesA((FrontEnd.programDir + file).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    char text[700];
    std::snprintf(text, sizeof text, "%s was not found beside Zorvik, in\n%s", file, FrontEnd.programDir.c_str());
    AfxShowMessageBox(window, text, "Message", MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void ReportNotStarted(HWND window, const char* file) {
    char text[300];
    std::snprintf(text, sizeof text, "%s could not be opened.", file);
    AfxShowMessageBox(window, text, "Message", MB_OK | MB_ICONEXCLAMATION);
}

// The launcher starts the old way, from the program's folder.
void StartLauncher(HWND window) {
    if (!PresentBeside(window, kLauncherFile)) return;
    if (WinExec(kLauncherCommandLine, SW_SHOW) <= 31) ReportNotStarted(window, kLauncherFile);
}

// The help file opens with the shell's default verb and no owner window. The
// shell is bound here, on first use, and not at start-up: loading it and what
// it pulls in is a good part of the time to the first window under Wine.
void OpenHelp(HWND window) {
    if (!PresentBeside(window, kHelpFile)) return;
    using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, const char*, const char*, const char*, const char*, int);
    static const auto shell_execute = BindLate<ShellExecuteFn>("shell32.dll", "ShellExecuteA");
    const HINSTANCE opened =
        shell_execute != nullptr ? shell_execute(nullptr, nullptr, kHelpFile, nullptr, nullptr, SW_SHOW) : nullptr;
    if (reinterpret_cast<INT_PTR>(opened) <= 32) ReportNotStarted(window, kHelpFile);
}

void ShowAbout(HWND window) {
    // Owned by the window, which it disables while it shows; one at a time.
    if (FrontEnd.aboutOpen) return;
    std::string text = kAboutFirstLine;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAboutKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        char value[30] = {};
        DWORD size = sizeof value;
        if (RegQueryValueExA(key, kAboutValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS) {
            text += std::string(value, strnlen(value, sizeof value));
        }
        RegCloseKey(key);
    }
    text += "\n";
    text += kAboutCopyright;
    FrontEnd.aboutOpen = true;
    MessageBoxA(window, text.c_str(), kAboutCaption, MB_OK);
    FrontEnd.aboutOpen = false;
}

std::string Trimmed(const char* text) {
    std::string result(text);
    result.erase(0, result.find_first_not_of(' '));
    result.erase(result.find_last_not_of(' ') + 1);
    return result;
}

void DrawStatusText(HWND window, const vossel::TextDraw& draw) {
    DrawPanelText(window, draw.text, draw.x, draw.y, vossel::kStatusLineBackground, kStatusBoxRight);
}

}  // namespace

void DrawProgressFigures(HWND window) {
    const int32_t status = FrontEnd.progressStatus;
    const int32_t percent = FrontEnd.progressPercent;
    const vossel::StatusLineDraws line = vossel::StatusLine(status);
    std::string shown;
    for (size_t i = 0; i < line.count; ++i) {
        DrawStatusText(window, line.draws[i]);
        shown = Trimmed(line.draws[i].text);
    }
    DrawProgressBar(window, percent);
    DrawStatusText(window, {vossel::kPercentageBlank, vossel::kPercentageX, vossel::kStatusLineY});
    const std::string text = vossel::PercentageText(percent);
    DrawStatusText(window, {text.c_str(), vossel::kPercentageX, vossel::kStatusLineY});
    FrontEnd.statusText = shown.empty() ? text : shown + " " + text;
}

bool CommandRunning() { return FrontEnd.busy != 0 || CommandThreadAlive(); }

bool MayEndProgram(HWND window) {
    if (!CommandRunning()) return true;
    AfxShowMessageBox(window, kCloseWhileBusyText, "Message", MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void RunElementCommand(HWND window, int index) {
    switch (index) {
    case kUpdateFromServer: StartBiosCommand(window, ServerUpdateThread, kServerPollMs); break;
    case kUpdateFromFile: StartBiosCommand(window, FileUpdateThread, kFilePollMs); break;
    case kSaveBios: StartBiosCommand(window, SaveThread, kSavePollMs); break;
    case kAbout: ShowAbout(window); break;
    case kMinimize: ShowWindow(window, SW_SHOWMINIMIZED); break;
    case kExit:
        if (MayEndProgram(window)) std::exit(0);
        break;
    case kBrisko: StartLauncher(window); break;
    case kHelp: OpenHelp(window); break;
    default: break;
    }
}

void ProgressTick(HWND window) {
    int status = 0, percent = 0, busy = 0;
    FrontEnd.Get_Progress_Status(&status, &percent, &busy);
    FrontEnd.progressStatus = status;
    FrontEnd.progressPercent = percent;
    // A command runs from the click until its thread has ended: a thread
    // that has not set the engine's Busy yet still counts.
    FrontEnd.busy = busy != 0 || CommandThreadAlive() ? 1 : 0;
    DrawProgressFigures(window);

    HDC dc = GetDC(window);
    if (FrontEnd.busy == 0) {
        SkinElementTable& table = FrontEnd.skin;
        for (int i = 0; i < table.count; ++i) {
            SkinElement& element = table.elements[i];
            // Hidden check boxes stay out of reach.
            element.disabled = IsCheckBox(i) && FrontEnd.checkBoxesHidden ? 1 : 0;
            HBITMAP image = nullptr;
            HBITMAP mask = nullptr;
            if (IsWideButton(i) && ElementLook(i, Look::kResting, &image, &mask)) {
                const SIZE size = BitmapSize(image);
                DrawPlain(dc, image, element.left, element.top, size.cx, size.cy);
            }
            NotifyStateChange(window, i);
        }
        RedrawElement(dc, FrontEnd.focusIndex);  // the focus shows again where it was
        KillTimer(window, kProgressTimer);
        for (const vossel::TextDraw& draw : vossel::kEndOfCommandDraws) DrawStatusText(window, draw);
        FrontEnd.statusText.clear();
        SetTimer(window, kLogoTimer, kLogoPeriodMs, nullptr);
    }
    for (int index : {int(kClearDmi), int(kLoadCmosDefault)}) {
        HBITMAP image = nullptr;
        HBITMAP mask = nullptr;
        const Look look = FrontEnd.skin.elements[index].disabled ? Look::kDisabled : IdleLook(index);
        if (ElementLook(index, look, &image, &mask)) {
            const SkinElement& element = FrontEnd.skin.elements[index];
            const SIZE size = BitmapSize(image);
            DrawPlain(dc, image, element.left, element.top, size.cx, size.cy);
        }
    }
    ReleaseDC(window, dc);
}
