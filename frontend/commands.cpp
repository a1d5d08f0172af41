#include "commands.h"

#include <shellapi.h>

#include <cstdlib>
#include <string>

#include "drawing.h"
#include "front_end.h"
#include "progress_display.h"
#include "skin.h"

namespace {

constexpr char kNoFile[] = "c:\\NoFile";
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
        if (IsWideButton(i)) DrawElement(dc, i, Look::kDisabled);
    }
    ReleaseDC(window, dc);
    KillTimer(window, kLogoTimer);
    SetTimer(window, kProgressTimer, pollMs, nullptr);
    HANDLE handle = CreateThread(nullptr, 0, thread, nullptr, 0, &FrontEnd.commandThreadId);
    if (handle != nullptr) CloseHandle(handle);
}

void ShowAbout(HWND window) {
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
    MessageBoxA(window, text.c_str(), kAboutCaption, MB_OK);
}

void DrawStatusText(HWND window, const vossel::TextDraw& draw) {
    DrawPanelText(window, draw.text, draw.x, draw.y, vossel::kStatusLineBackground, kStatusBoxRight);
}

}  // namespace

void RunElementCommand(HWND window, int index) {
    switch (index) {
    case kUpdateFromServer: StartBiosCommand(window, ServerUpdateThread, kServerPollMs); break;
    case kUpdateFromFile: StartBiosCommand(window, FileUpdateThread, kFilePollMs); break;
    case kSaveBios: StartBiosCommand(window, SaveThread, kSavePollMs); break;
    case kAbout: ShowAbout(window); break;
    case kMinimize: ShowWindow(window, SW_SHOWMINIMIZED); break;
    case kExit: std::exit(0);
    case kBrisko:
        SetCurrentDirectoryA(FrontEnd.programDir.c_str());
        WinExec("Pronnel.exe /zorvik", SW_SHOW);
        break;
    case kHelp:
        SetCurrentDirectoryA(FrontEnd.programDir.c_str());
        ShellExecuteA(nullptr, nullptr, "Zorvik.chm", nullptr, nullptr, SW_SHOW);
        break;
    default: break;
    }
}

void ProgressTick(HWND window) {
    int status = 0, percent = 0, busy = 0;
    FrontEnd.Get_Progress_Status(&status, &percent, &busy);
    FrontEnd.progressStatus = status;
    FrontEnd.progressPercent = percent;
    FrontEnd.busy = busy;

    const vossel::StatusLineDraws line = vossel::StatusLine(status);
    for (size_t i = 0; i < line.count; ++i) DrawStatusText(window, line.draws[i]);
    DrawProgressBar(window, percent);
    DrawStatusText(window, {vossel::kPercentageBlank, vossel::kPercentageX, vossel::kStatusLineY});
    const std::string text = vossel::PercentageText(percent);
    DrawStatusText(window, {text.c_str(), vossel::kPercentageX, vossel::kStatusLineY});

    HDC dc = GetDC(window);
    if (busy == 0) {
        SkinElementTable& table = FrontEnd.skin;
        for (int i = 0; i < table.count; ++i) {
            SkinElement& element = table.elements[i];
            element.disabled = 0;
            if (IsWideButton(i)) {
                const SIZE size = BitmapSize(element.restingImage);
                DrawPlain(dc, element.restingImage, element.left, element.top, size.cx, size.cy);
            }
        }
        KillTimer(window, kProgressTimer);
        for (const vossel::TextDraw& draw : vossel::kEndOfCommandDraws) DrawStatusText(window, draw);
        SetTimer(window, kLogoTimer, kLogoPeriodMs, nullptr);
    }
    for (int index : {int(kClearDmi), int(kLoadCmosDefault)}) {
        HBITMAP image = nullptr;
        HBITMAP mask = nullptr;
        if (ElementLook(index, Look::kResting, &image, &mask)) {
            const SkinElement& element = FrontEnd.skin.elements[index];
            const SIZE size = BitmapSize(image);
            DrawPlain(dc, image, element.left, element.top, size.cx, size.cy);
        }
    }
    ReleaseDC(window, dc);
}
