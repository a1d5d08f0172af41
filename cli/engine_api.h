// The engine's and the driver's exports as vossel.exe binds them by name,
// with the engine's declarations of its records; nothing of the engine is
// linked in.
#pragma once

#include <cstdint>

#include "checked_update.h"

namespace vcli {

// The check record and its codes are the engine's own declarations.
using ImageCheck = ::VosselImageCheck;
static_assert(sizeof(ImageCheck) == 312, "the engine's check record is 312 bytes");
using CheckId = ::VosselCheck;

using GetRecordFn = void(__cdecl*)(void* record, unsigned size);
using IntFn = int(__cdecl*)();
using ByteFn = uint8_t(__cdecl*)();
using ProgressFn = void(__cdecl*)(int* status, int* percent, int* busy);
using HubrixProgressFn = void(__cdecl*)(int* status, int* percent);
using SaveBiosQuietFn = uint8_t(__cdecl*)(const char* path);
using FlashBiosFn = int(__cdecl*)(int source, const char* path, int keepDmi, int loadCmosDefaults,
                                  unsigned imageLength);
using UpdateCheckFn = int(__cdecl*)(char* text, unsigned textSize);
using CheckAuthenticatedFn = int(__cdecl*)(char* digest, unsigned digestSize);
using CheckImageFn = int(__cdecl*)(const char* path, ImageCheck* result);
using VerifyImageFn = int(__cdecl*)(const char* path, unsigned* firstDifference);
using SupportEnlFn = int(__cdecl*)(unsigned char* present, unsigned char* active);

}  // namespace vcli
