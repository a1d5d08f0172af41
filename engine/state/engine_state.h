// The engine's process-wide state, shared by every export. It comes into
// being when the library is loaded and lives until the process ends.
//
// The progress figures and the busy flag are written by the thread running an
// operation and read by whichever thread polls; each is a whole 32-bit value,
// so they are atomics read and written with relaxed ordering.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "catalogue.h"
#include "driver_table.h"
#include "records.h"

// The engine's module path and the driver path are formed in fixed buffers.
constexpr size_t kModulePathBufferSize = 512;

struct EngineState {
    char ModuleDir[kModulePathBufferSize] = {};  // ends with a backslash
    FlashDriverTable FlashDriver;
    FLASH_INFO CurrentFlash = {};
    BIOS_INFO CurrentBios = {};
    int32_t BoardMode = 0;
    double ProgramVersion = 0.0;
    std::atomic<int32_t> Busy{0};
    std::atomic<int32_t> ProgressStatus{0};
    std::atomic<int32_t> ProgressPercent{0};
    std::atomic<int32_t> OwnProgress{0};
    int32_t AwardFound = 0;
    std::atomic<uint8_t> DownloadStatus{0};
    // What the model dialog left for the download of an update from a server.
    vossel::ModelSelection Model;
    // The built-in server on which BiosUpdateCheck last found a newer BIOS.
    char CurrentServer[30] = {};
    // An update or a save holds the flash part and the board mode from its
    // start to its end; a second one started meanwhile by another thread of
    // this process is turned away (exclusive_operation.h: other processes).
    std::atomic<bool> OperationRunning{false};
};

extern EngineState Engine;

// The program version this engine reports to the version gate.
constexpr double kProgramVersion = 2.34;

// The one board the engine recognises by the start of its part number.
constexpr char kRecognisedBoardPrefix[] = "3K41ZT";

// Message and caption shown when the driver cannot be loaded.
constexpr char kLoadDriverFailedText[] = "Load flash.dll failed !";
constexpr char kErrorCaption[] = "Error";

// Runs the engine's start-up against the driver in moduleDir (which ends with
// a backslash): loads and binds flash.dll, reads both records once and
// recognises the board. On failure shows one message box and returns false.
// A second run (tests do this) drops the driver bound by the first.
bool StartEngine(const char* moduleDir);

// The directory of the module that holds the engine code, with a trailing
// backslash, or false when the path does not fit the buffer.
bool GetEngineModuleDir(char (&dir)[kModulePathBufferSize]);

// Polls the driver's progress into the engine's figures unless the engine
// itself drives them (OwnProgress).
void PollDriverProgress();
