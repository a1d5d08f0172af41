#include "engine_state.h"

#include "exclusive_operation.h"

#include <cstdio>
#include <cstring>

#include "message_box.h"

EngineState Engine;

namespace {

void ShowStartupError(const char* text) {
    AfxShowMessageBox(nullptr, text, kErrorCaption, MB_OK);
}

}  // namespace

bool GetEngineModuleDir(char (&dir)[kModulePathBufferSize]) {
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&GetEngineModuleDir), &self)) {
        return false;
    }
    char path[kModulePathBufferSize] = {};
    DWORD length = GetModuleFileNameA(self, path, sizeof path);
    // A path that fills the buffer was cut short: it cannot name our directory.
    if (length == 0 || length >= sizeof path) return false;
    char* last_backslash = std::strrchr(path, '\\');
    if (last_backslash == nullptr) return false;
    last_backslash[1] = '\0';
    std::memcpy(dir, path, sizeof dir);
    return true;
}

bool StartEngine(const char* moduleDir) {
    Engine.ProgramVersion = kProgramVersion;
    Engine.Busy = 0;
    Engine.BoardMode = 0;

    if (Engine.FlashDriver.Library != nullptr) {
        FreeLibrary(Engine.FlashDriver.Library);
        Engine.FlashDriver = FlashDriverTable{};
    }

    // The driver is taken from the engine's own directory only: a full path
    // never falls back to the system's search path. A directory too long for
    // the fixed buffers cannot be loaded from.
    char driver_path[kModulePathBufferSize + 16];
    HMODULE library = nullptr;
    if (std::strlen(moduleDir) < sizeof Engine.ModuleDir) {
        lstrcpynA(Engine.ModuleDir, moduleDir, sizeof Engine.ModuleDir);
        std::snprintf(driver_path, sizeof driver_path, "%sflash.dll", Engine.ModuleDir);
        library = LoadLibraryA(driver_path);
    }
    if (library == nullptr) {
        ShowStartupError(kLoadDriverFailedText);
        return false;
    }

    if (const char* missing = BindFlashDriver(library, &Engine.FlashDriver)) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "The flash driver flash.dll has no function %s !\n"
                      "Please install the flash.dll that came with this program.",
                      missing);
        FreeLibrary(library);
        Engine.FlashDriver = FlashDriverTable{};
        ShowStartupError(text);
        return false;
    }

    Engine.ProgressStatus = 0;
    Engine.ProgressPercent = 100;
    Engine.DownloadStatus = 0;

    // The results are not examined: a record the driver did not fill stays
    // zero and the board then counts as unknown.
    Engine.CurrentFlash = FLASH_INFO{};
    Engine.CurrentBios = BIOS_INFO{};
    Engine.FlashDriver.W_Get_Flash_Info(&Engine.CurrentFlash, kFlashInfoSize);
    Engine.FlashDriver.W_Get_Bios_Info(&Engine.CurrentBios, kBiosInfoSize);

    if (std::memcmp(Engine.CurrentBios.BiosPartNumber, kRecognisedBoardPrefix,
                    sizeof kRecognisedBoardPrefix - 1) == 0) {
        Engine.BoardMode = 1;
    }
    OpenOperationGuard();
    return true;
}

void PollDriverProgress() {
    if (Engine.OwnProgress.load(std::memory_order_relaxed) != 0) return;
    // The driver writes through plain int pointers; hand it copies and publish
    // the results whole, so a concurrent reader never sees a torn value. A
    // figure the driver leaves alone keeps its last value.
    int status = Engine.ProgressStatus.load(std::memory_order_relaxed);
    int percent = Engine.ProgressPercent.load(std::memory_order_relaxed);
    Engine.FlashDriver.W_Get_Progress_Status(&status, &percent);
    Engine.ProgressStatus.store(status, std::memory_order_relaxed);
    Engine.ProgressPercent.store(percent, std::memory_order_relaxed);
}
