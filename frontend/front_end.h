// The front end's state, one instance for the process, written by the user
// interface thread only: the engine and its functions, the records read at
// start-up and the panel lines made of them, the check-box flags, the last
// progress figures, the logo and the skin's elements.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "records.h"

using GetRecordFn = void(__cdecl*)(void* record, unsigned size);
using SaveBiosFn = int(__cdecl*)(int mode, const char* path);
using GetProgressFn = void(__cdecl*)(int* status, int* percent, int* busy);
using FlashBiosFn = int(__cdecl*)(int source, const char* path, int keepDmi, int loadCmosDefaults,
                                  unsigned imageLength);

// One skin element: its rectangle and marks (its looks: ElementLook).
struct SkinElement {
    int32_t top;
    int32_t left;
    int32_t right;
    int32_t bottom;
    int32_t hover;
    int32_t pressed;
    const char* name;
    uint8_t disabled;

    // Strictly inside: points on the edges lie outside.
    bool Contains(int x, int y) const { return left < x && x < right && top < y && y < bottom; }
};

constexpr int kElementCapacity = 20;
constexpr int kNoElementPressed = 99;

// Elements of the table by position.
enum ElementIndex : int {
    kUpdateFromServer = 0,
    kUpdateFromFile = 1,
    kSaveBios = 2,
    kAbout = 3,
    kClearDmi = 4,
    kMinimize = 5,
    kExit = 6,
    kBrisko = 7,
    kHelp = 8,
    kLoadCmosDefault = 9,
};

struct SkinElementTable {
    SkinElement elements[kElementCapacity] = {};
    int count = 0;
    int pressedIndex = kNoElementPressed;
};

constexpr int kLogoFrameCount = 9;

struct FrontEndState {
    HMODULE engine = nullptr;
    GetRecordFn Get_Flash_Info = nullptr;
    GetRecordFn Get_Bios_Info = nullptr;
    SaveBiosFn SaveBIOS = nullptr;
    GetProgressFn Get_Progress_Status = nullptr;
    FlashBiosFn FlashBIOS = nullptr;

    std::string programDir;  // ends with a backslash
    FLASH_INFO flash = {};
    BIOS_INFO bios = {};
    std::string flashTypeLine;
    std::string flashSizeLine;
    std::string signOnLine;
    std::string vendorLine;
    int32_t biosVendor = 0;

    int32_t clearDmi = 0;
    int32_t skipCmosDefault = 0;
    int32_t progressStatus = 0;
    int32_t progressPercent = 100;
    int32_t busy = 0;
    DWORD commandThreadId = 0;
    HANDLE commandThread = nullptr;  // the running or last BIOS command's thread

    HBITMAP logoFrames[kLogoFrameCount] = {};
    int logoIndex = 0;

    // The skin set on screen, in percent; the element table's rectangles and
    // looks are those of this set.
    int skinPercent = 100;
    SkinElementTable skin;

    // The keyboard focus: the element that has it (-1: none yet), shown in
    // its focus look while it is enabled.
    int focusIndex = -1;
    // A board family without the check boxes' options: they show the off
    // look, neither checked nor unchecked, and take neither click nor key.
    bool checkBoxesHidden = false;
    // An about box is open; a second is not shown.
    bool aboutOpen = false;
    // The status line's text as it shows now, for assistive technology.
    std::string statusText;
};

extern FrontEndState FrontEnd;

// Timers of the main window.
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT_PTR kLogoTimer = 2;
constexpr UINT kLogoPeriodMs = 200;
