// The engine's and the driver's exports as vossel.exe binds them by name. The
// records mirror the engine's own; their layouts are binary formats.
#pragma once

#include <cstdint>

namespace vcli {

struct ImageCheck {
    uint32_t size;          // sizeof(ImageCheck), set by the caller
    int32_t writable;       // 1 when FlashBIOS(2, path) would write the image
    int32_t failedCheck;    // CheckId
    int32_t plan;           // the driver write FlashBIOS would make
    int32_t boardMode;
    uint32_t writeLength;   // bytes the driver would be given
    char message[256];      // the refusal FlashBIOS would show; empty when writable
    char caption[32];
};
static_assert(sizeof(ImageCheck) == 312, "the engine's check record is 312 bytes");

enum CheckId : int32_t {
    kCheckNone = 0,
    kCheckPath = 1,
    kCheckSize = 2,
    kCheckFamily = 3,
    kCheckPartNumber = 4,
    kCheckSeries = 5,
    kCheckProgramVersion = 6,
    kCheckDriverPermission = 7,
    kCheckProtectionDate = 8,
    kCheckBusy = 9,
};

using GetRecordFn = void(__cdecl*)(void* record, unsigned size);
using IntFn = int(__cdecl*)();
using ByteFn = uint8_t(__cdecl*)();
using ProgressFn = void(__cdecl*)(int* status, int* percent, int* busy);
using HubrixProgressFn = void(__cdecl*)(int* status, int* percent);
using SaveBiosQuietFn = uint8_t(__cdecl*)(const char* path);
using FlashBiosFn = int(__cdecl*)(int source, const char* path, int keepDmi, int loadCmosDefaults,
                                  unsigned imageLength);
using UpdateCheckFn = int(__cdecl*)(char* text, unsigned textSize);
using CheckImageFn = int(__cdecl*)(const char* path, ImageCheck* result);
using VerifyImageFn = int(__cdecl*)(const char* path, unsigned* firstDifference);
using SupportEnlFn = int(__cdecl*)(unsigned char* present, unsigned char* active);

}  // namespace vcli
