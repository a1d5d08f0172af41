// boardinfo: loads Vossel.dll from its own folder, as any host of the engine
// does, and prints what the engine reports about the board.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "records.h"

namespace {

struct SizeName {
    uint32_t size;
    const char* name;
};

constexpr SizeName kFlashSizeNames[] = {
    {0x40000, "2M bits"},   {0x60000, "3M bits"},   {0x80000, "4M bits"},    {0x100000, "8M bits"},
    {0x200000, "16M bits"}, {0x400000, "32M bits"}, {0x800000, "64M bits"}, {0x1000000, "128M bits"},
};

const char* FlashSizeName(uint32_t size) {
    for (const SizeName& entry : kFlashSizeNames) {
        if (entry.size == size) return entry.name;
    }
    return "Unknown";
}

const char* BiosVendorName(int32_t type) {
    switch (type) {
    case kBiosTypeAward: return "AWARD BIOS";
    case kBiosTypeAmi: return "AMI BIOS";
    case kBiosTypeAmiUefi: return "AMI UEFI BIOS";
    }
    return "Unknown BIOS";
}

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A text field of a record, cut at its terminator or at the field's end.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

}  // namespace

int main() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, length);
    dir.resize(dir.rfind('\\') + 1);

    HMODULE engine = LoadLibraryA((dir + "Vossel.dll").c_str());
    if (engine == nullptr) {
        std::printf("Vossel.dll could not be loaded from %s (error %lu)\n", dir.c_str(), GetLastError());
        return 1;
    }
    auto get_flash_info = Export<void(__cdecl*)(void*, unsigned)>(engine, "Get_Flash_Info");
    auto get_bios_info = Export<void(__cdecl*)(void*, unsigned)>(engine, "Get_Bios_Info");
    auto get_progress = Export<void(__cdecl*)(int*, int*, int*)>(engine, "Get_Progress_Status");
    auto dual_bios = Export<int(__cdecl*)()>(engine, "IsDualBiosSupported");
    if (!get_flash_info || !get_bios_info || !get_progress || !dual_bios) {
        std::printf("Vossel.dll lacks one of its exports\n");
        return 1;
    }

    FLASH_INFO flash{};
    BIOS_INFO bios{};
    get_flash_info(&flash, sizeof flash);
    get_bios_info(&bios, sizeof bios);
    int status = 0, percent = 0, busy = 0;
    get_progress(&status, &percent, &busy);

    std::printf("Engine      : %sVossel.dll\n", dir.c_str());
    std::printf("Flash type  : %s\n", FieldText(flash.FlashType).c_str());
    std::printf("Flash size  : %s (0x%lX bytes)\n", FlashSizeName(flash.FlashSize),
                static_cast<unsigned long>(flash.FlashSize));
    std::printf("BIOS vendor : %s\n", BiosVendorName(bios.BiosType));
    std::printf("Part number : %s\n", FieldText(bios.BiosPartNumber).c_str());
    std::printf("Sign-on     : %s\n", FieldText(bios.SignOnMessage).c_str());
    std::printf("Dual BIOS   : %s\n", dual_bios() ? "supported" : "not supported");
    std::printf("Progress    : status %d, %d %%, busy %d\n", status, percent, busy);
    return 0;
}
