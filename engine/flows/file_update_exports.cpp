#include "file_update_exports.h"

#include <windows.h>

#include <cstring>
#include <optional>

#include "descriptor_search.h"
#include "engine_state.h"
#include "exclusive_operation.h"
#include "image_checks.h"
#include "image_loading.h"
#include "records.h"
#include "update_flow.h"

namespace {

// The driver's write is given a moment before the export returns.
constexpr DWORD kAfterWriteWaitMs = 400;

// The driver's permission bytes that pick the write in FlashBiosEx.
constexpr uint8_t kPermissionRefused = 0;
constexpr uint8_t kPermissionDualBios = 1;
constexpr uint8_t kPermissionFlashWrite = 2;

// Copies the caller's path into the image path; false when there is none or
// it does not fit (at most 254 characters), so nothing is read past a
// caller's string or written past the buffer.
bool TakeImagePath(const char* path, char (&imagePath)[kImagePathSize]) {
    if (path == nullptr) return false;
    const size_t length = strnlen(path, kImagePathSize);
    if (length >= kImagePathSize) return false;
    std::memcpy(imagePath, path, length + 1);
    return true;
}

// The write the caller chose (FlashBiosEx1) or, without a choice, the one the
// permission asks for (FlashBiosEx). 1 written or nothing to write, 0 the
// driver's write failed.
int WriteByChoice(std::optional<int> writeKind, uint8_t permission, uint8_t* image, uint32_t length,
                  int keepDmi) {
    FlashDriverTable& driver = Engine.FlashDriver;
    const int kind = writeKind ? *writeKind
                     : permission == kPermissionDualBios   ? kWriteKindDual
                     : permission == kPermissionFlashWrite ? kWriteKindMain
                                                           : -1;
    switch (kind) {
    case kWriteKindMain: return driver.W_Flash_Write(image, length, keepDmi);
    case kWriteKindBackup: return driver.W_Flash_Write_BackupBios(image, length, keepDmi);
    case kWriteKindDual: return driver.W_Flash_Write_DualBios(image, length, keepDmi);
    }
    return 1;
}

// From the buffer on; Busy is 1 throughout and the caller clears it. The
// buffer is released on every way out.
uint8_t RunFileUpdate(int source, const char* path, int keepDmi, std::optional<int> writeKind) {
    const uint32_t flash_size = Engine.CurrentFlash.FlashSize;
    ImageBuffer buffer;
    if (!buffer.Allocate(uint64_t{flash_size} + 1)) return kFileUpdateNoBuffer;
    if (source != kSourceGivenFile) return kFileUpdateNotWritten;

    char image_path[kImagePathSize] = {};
    if (!TakeImagePath(path, image_path)) return kFileUpdateCannotLoad;
    if (LoadImageFile(image_path, buffer.data(), flash_size) == 0) return kFileUpdateCannotLoad;

    vossel::BiosDescriptorFields descriptor;
    if (vossel::FindBiosDescriptor(buffer.data(), flash_size, &descriptor) == 0) return kFileUpdateNoDescriptor;
    // The record's 8 bytes take part as they stand, a terminator of a shorter
    // part number included.
    if (std::memcmp(descriptor.PartNumber, Engine.CurrentBios.BiosPartNumber, kPartNumberLength) != 0) {
        return kFileUpdateOtherPart;
    }
    uint8_t permission = kPermissionRefused;
    if (Engine.FlashDriver.IsUtilityActive(buffer.data(), flash_size, &permission) == 0) {
        return kFileUpdateProgramTooOld;
    }
    if (permission == kPermissionRefused) return kFileUpdateRefused;
    if (vossel::CheckBoardProtection(descriptor.PartNumber, descriptor.Year, descriptor.Month, descriptor.Day) ==
        0) {
        return kFileUpdateRefused;
    }

    if (writeKind && (*writeKind < kWriteKindMain || *writeKind > kWriteKindDual)) return kFileUpdateNotWritten;
    if (WriteByChoice(writeKind, permission, buffer.data(), flash_size, keepDmi) == 0) return kFileUpdateNotWritten;
    Sleep(kAfterWriteWaitMs);
    return kFileUpdateWritten;
}

uint8_t FlashFromFile(int source, const char* path, int keepDmi, std::optional<int> writeKind) {
    // Only a UEFI board is updated this way; any other answers at once.
    if (Engine.CurrentBios.BiosType != kBiosTypeAmiUefi) return kFileUpdateWritten;

    // A second write while one runs would corrupt the part: the call is turned
    // away without touching the state of the operation that runs.
    ExclusiveOperation operation;
    if (!operation.owned()) return kFileUpdateNotWritten;

    Engine.Busy = 1;
    Engine.ProgressStatus = 0;
    Engine.ProgressPercent = 100;
    const uint8_t result = RunFileUpdate(source, path, keepDmi, writeKind);
    Engine.Busy = 0;
    return result;
}

}  // namespace

uint8_t __cdecl FlashBiosEx(int source, const char* path, int keepDmi, int, int) {
    return FlashFromFile(source, path, keepDmi, std::nullopt);
}

uint8_t __cdecl FlashBiosEx1(int source, const char* path, int keepDmi, int, int, int writeKind) {
    return FlashFromFile(source, path, keepDmi, writeKind);
}
