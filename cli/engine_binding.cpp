#include "engine_binding.h"

#include <string>
#include <type_traits>

#include "console_text.h"

namespace vcli {
namespace {

std::string ProgramDir() {
    char path[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, length);
    const size_t slash = dir.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
}

std::string SystemMessage(DWORD error) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text != nullptr ? OneLine(text) : Format("error %lu", static_cast<unsigned long>(error));
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && message.back() == '.') message.pop_back();
    return message;
}

template <typename Function>
Function Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool Engine::Load() {
    const std::string dir = ProgramDir();
    const std::string engine_path = dir + "Vossel.dll";
    const std::string driver_path = dir + "flash.dll";
    // The engine tells a missing driver in a message box: look first.
    if (!FileExists(engine_path)) {
        Fail(engine_path + ": cannot load the engine: file not found");
        return false;
    }
    if (!FileExists(driver_path)) {
        Fail(driver_path + ": cannot load the flash driver: file not found");
        return false;
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    module = LoadLibraryA(engine_path.c_str());
    if (module == nullptr) {
        Fail(engine_path + ": cannot load the engine: " + SystemMessage(GetLastError()));
        return false;
    }
    driver = LoadLibraryA(driver_path.c_str());
    if (driver == nullptr) {
        Fail(driver_path + ": cannot load the flash driver: " + SystemMessage(GetLastError()));
        return false;
    }
    bool ok = true;
    auto bind = [&](auto& slot, HMODULE from, const std::string& from_path, const char* name) {
        slot = Bind<std::remove_reference_t<decltype(slot)>>(from, name);
        if (slot == nullptr) {
            Fail(from_path + ": does not export " + name);
            ok = false;
        }
    };
    bind(Get_Flash_Info, module, engine_path, "Get_Flash_Info");
    bind(Get_Bios_Info, module, engine_path, "Get_Bios_Info");
    bind(IsDualBiosSupported, module, engine_path, "IsDualBiosSupported");
    bind(Get_Progress_Status, module, engine_path, "Get_Progress_Status");
    bind(GetProgressStatusForHubrix, module, engine_path, "GetProgressStatusForHubrix");
    bind(SaveBiosQuiet, module, engine_path, "SaveBiosQuiet");
    bind(FlashBIOS, module, engine_path, "FlashBIOS");
    bind(BiosUpdateCheck, module, engine_path, "BiosUpdateCheck");
    bind(BiosUpdateCheckAuthenticated, module, engine_path, "BiosUpdateCheckAuthenticated");
    bind(UpdateBiosByUpdateManager, module, engine_path, "UpdateBiosByUpdateManager");
    bind(DownloadStatusForUpdateManager, module, engine_path, "DownloadStatusForUpdateManager");
    bind(CheckBiosImage, module, engine_path, "CheckBiosImage");
    bind(VerifyBiosImage, module, engine_path, "VerifyBiosImage");
    bind(W_Support_ENL, driver, driver_path, "W_Support_ENL");
    return ok;
}

}  // namespace vcli
