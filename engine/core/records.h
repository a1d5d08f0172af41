// Flash and BIOS information records as the flash driver fills them.
// These bytes cross three modules (driver, engine, front end), so the
// layouts are binary formats: packed, little-endian, fixed offsets.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

struct FLASH_INFO {
    uint8_t Unread0[2];     // filled by the driver, never read by us
    uint32_t FlashSize;     // size of the flash part in bytes
    uint8_t Unread1[12];    // filled by the driver, never read by us
    char FlashType[44];     // flash memory type, at most 43 chars + NUL
};

struct BIOS_INFO {
    int32_t BiosType;          // vendor and type code, see BiosTypeCode
    char BiosPartNumber[9];    // 8 characters + NUL
    char SignOnMessage[81];    // at most 80 characters + NUL
};

#pragma pack(pop)

static_assert(sizeof(FLASH_INFO) == 62, "FLASH_INFO is a 62-byte wire record");
static_assert(offsetof(FLASH_INFO, FlashSize) == 2, "FlashSize at 2");
static_assert(offsetof(FLASH_INFO, FlashType) == 18, "FlashType at 18");
static_assert(sizeof(BIOS_INFO) == 94, "BIOS_INFO is a 94-byte wire record");
static_assert(offsetof(BIOS_INFO, BiosType) == 0, "BiosType at 0");
static_assert(offsetof(BIOS_INFO, BiosPartNumber) == 4, "BiosPartNumber at 4");
static_assert(offsetof(BIOS_INFO, SignOnMessage) == 13, "SignOnMessage at 13");

constexpr unsigned kFlashInfoSize = sizeof(FLASH_INFO);
constexpr unsigned kBiosInfoSize = sizeof(BIOS_INFO);

// Part numbers are compared as exactly these many bytes everywhere.
constexpr size_t kPartNumberLength = 8;

enum BiosTypeCode : int32_t {
    kBiosTypeAward = 1,
    kBiosTypeAmi = 2,
    kBiosTypeAmiUefi = 3,
};

// Progress status codes reported by the driver and the engine.
enum ProgressStatusCode : int32_t {
    kStatusNone = 0,
    kStatusSaving = 1,
    kStatusReading = 2,
    kStatusWriting = 3,
    kStatusErasing = 4,
    kStatusDownloading = 5,
    kStatusVerifying = 6,
};

// Flash sizes the board modes and the 512 KiB file adaptations work with.
constexpr uint32_t kFlashSize256K = 0x40000;
constexpr uint32_t kFlashSize384K = 0x60000;
constexpr uint32_t kFlashSize512K = 0x80000;
constexpr uint32_t kFlashSize1M = 0x100000;
constexpr uint32_t kFlashSize2M = 0x200000;
constexpr uint32_t kFlashSize4M = 0x400000;
