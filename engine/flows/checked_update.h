// Additions for tools that write the BIOS unattended and want to know before
// and after: CheckBiosImage runs every check FlashBIOS makes on an image
// file, without writing and without any window, and tells which check
// refused it and why; VerifyBiosImage reads the part back and compares it
// with what FlashBIOS writes of that file; SaveBiosQuiet saves the part as
// SaveBiosEx does but never shows the writer's message.
#pragma once

#include <cstdint>

// Which check refused an image.
enum VosselCheck : int32_t {
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

// The driver write FlashBIOS would make.
enum VosselPlan : int32_t {
    kPlanNone = 0,
    kPlanFlashWrite = 1,
    kPlanUefiImageOnAwardBoard = 2,
    kPlanDualBios = 3,
    kPlanAwardImageOnUefiBoard = 4,
    kPlanNoWriteCall = 5,
};

struct VosselImageCheck {
    uint32_t size;          // sizeof(VosselImageCheck), set by the caller
    int32_t writable;       // 1 when FlashBIOS(2, path) would write the image
    int32_t failedCheck;    // VosselCheck
    int32_t plan;           // VosselPlan
    int32_t boardMode;      // the board mode the write would use
    uint32_t writeLength;   // the bytes the driver would be given
    char message[256];      // the refusal FlashBIOS would show; empty when writable
    char caption[32];
};

extern "C" {
// Returns writable (0 also for a null pointer or a size field that does not
// match the record).
int __cdecl CheckBiosImage(const char* path, VosselImageCheck* result);
// 1: the part holds the image as FlashBIOS(2, path) writes it; 0: it differs,
// first differing offset of the part in *firstDifference; -1: no comparison
// (the image is refused, the part cannot be read, an operation runs).
int __cdecl VerifyBiosImage(const char* path, unsigned* firstDifference);
// SaveBiosEx(0, path) without any window: the same result codes (0 written,
// 1 no memory, 2 the part could not be read, 3 the file could not be
// written, a full disk included).
uint8_t __cdecl SaveBiosQuiet(const char* path);
}
