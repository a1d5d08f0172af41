// The flash driver flash.dll as one table of typed entry points, bound by
// name in one loop.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct FlashDriverTable {
    HMODULE Library = nullptr;
    int(__cdecl* W_Get_Flash_Info)(void* record, unsigned size) = nullptr;
    int(__cdecl* W_Get_Bios_Info)(void* record, unsigned size) = nullptr;
    int(__cdecl* W_Flash_Read)(unsigned char* buffer, unsigned* count) = nullptr;
    int(__cdecl* W_Flash_Write)(unsigned char* image, unsigned length, int keepDmi) = nullptr;
    int(__cdecl* W_Flash_Write_DualBios)(unsigned char* image, unsigned length, int keepDmi) = nullptr;
    int(__cdecl* W_Flash_Write_BackupBios)(unsigned char* image, unsigned length, int keepDmi) = nullptr;
    int(__cdecl* W_Flash_Write_Ex)(unsigned char* image, unsigned length, int keepDmi, int kind) = nullptr;
    int(__cdecl* W_Get_Progress_Status)(int* status, int* percent) = nullptr;
    int(__cdecl* W_Support_ENL)(unsigned char* present, unsigned char* active) = nullptr;
    int(__cdecl* W_Enable_ENL)(int enable) = nullptr;
    int(__cdecl* Load_CMOS_Default)() = nullptr;
    int(__cdecl* IsUtilityActive)(unsigned char* image, unsigned length, unsigned char* permission) = nullptr;
    int(__cdecl* IsDualBiosSupported)() = nullptr;
    int(__cdecl* ChangeDualBiosExport)(unsigned selector) = nullptr;
    int(__cdecl* EpCheckOemid)(int a, int b) = nullptr;
};

// Binds every entry point of the table from library, in the driver's
// documented order. On success the table holds library and all fifteen
// pointers and the result is nullptr; otherwise the table is left cleared
// (Library excepted) and the result names the first entry point that is
// missing.
const char* BindFlashDriver(HMODULE library, FlashDriverTable* table);

// Number of entry points the engine binds.
constexpr size_t kFlashDriverEntryCount = 15;
