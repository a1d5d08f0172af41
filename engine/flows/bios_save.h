// Saving the flash part to a file: SaveBIOS (interactive or silent),
// SaveBiosEx (silent, with a result code) and the image file writer.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// SaveBIOS's target path holds at most 259 characters and its terminator.
constexpr size_t kSaveTargetPathSize = 260;

// SaveBiosEx's result codes.
enum SaveBiosExResult : uint8_t {
    kSaveExWritten = 0,
    kSaveExNoBuffer = 1,
    kSaveExReadFailed = 2,
    kSaveExWriteFailed = 3,
};

extern "C" {
int __cdecl SaveBIOS(int mode, const char* path);
uint8_t __cdecl SaveBiosEx(int ignored, const char* path);
}

// Writes length bytes of buffer to the file at path; 0 on success, nonzero on
// failure. The bytes go to a new file beside the target, which replaces the
// target only once every byte is on disk: a failed save leaves an existing
// file as it was and no partial image behind. A write that comes up short
// (a full disk) shows "Can't save ROM image ..."; a file that cannot be
// created or replaced shows nothing.
int SaveRomImageFile(const uint8_t* buffer, const char* path, uint32_t length);

// Explorer's "HideFileExt" setting under HKEY_CURRENT_USER: switched off
// while the save dialog is open so that the extensions show.
int ShowFileExtensions();
int SetHideFileExt(DWORD value);
