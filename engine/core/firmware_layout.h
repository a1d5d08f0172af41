// The parts of the UEFI firmware volume and firmware file layouts that the
// descriptor search reads, and the BIOS descriptor record. Declared once with
// their offsets checked; fields are decoded little-endian through
// LoadLe16/LoadLe24/LoadLe32 after the caller has checked that the bytes lie
// inside the image.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vossel {

#pragma pack(push, 1)

// The first 50 bytes of a firmware volume header: everything up to and
// including the header length.
struct FirmwareVolumeHeaderPrefix {
    uint8_t ZeroVector[16];
    uint8_t FileSystemGuid[16];
    uint8_t FvLength[8];      // 64-bit; only the low 32 bits are used
    uint8_t Signature[4];     // "_FVH"
    uint8_t Attributes[4];
    uint8_t HeaderLength[2];
};

struct FirmwareFileHeader {
    uint8_t Name[16];
    uint8_t HeaderChecksum;
    uint8_t FileChecksum;
    uint8_t Type;
    uint8_t Attributes;       // kFileAttributeChecksum: the file carries checksums
    uint8_t Size[3];          // 24-bit, header included
    uint8_t State;
};

struct BiosDescriptorRecord {
    uint8_t Signature[4];     // "$BDR"
    uint8_t Unread0[4];
    uint8_t Marker[2];        // kBiosDescriptorMarker
    uint8_t Unread1[22];
    uint8_t PartNumber[8];    // no terminator
    uint8_t Unread2[4];
    uint8_t Year[2];
    uint8_t Month;
    uint8_t Day;
};

#pragma pack(pop)

static_assert(sizeof(FirmwareVolumeHeaderPrefix) == 50, "volume header prefix is 50 bytes");
static_assert(offsetof(FirmwareVolumeHeaderPrefix, FvLength) == 32, "volume length at 32");
static_assert(offsetof(FirmwareVolumeHeaderPrefix, Signature) == 40, "volume signature at 40");
static_assert(offsetof(FirmwareVolumeHeaderPrefix, HeaderLength) == 48, "header length at 48");

static_assert(sizeof(FirmwareFileHeader) == 24, "file header is 24 bytes");
static_assert(offsetof(FirmwareFileHeader, HeaderChecksum) == 16, "header checksum at 16");
static_assert(offsetof(FirmwareFileHeader, FileChecksum) == 17, "file checksum at 17");
static_assert(offsetof(FirmwareFileHeader, Attributes) == 19, "attributes at 19");
static_assert(offsetof(FirmwareFileHeader, Size) == 20, "size at 20");
static_assert(offsetof(FirmwareFileHeader, State) == 23, "state at 23");

static_assert(sizeof(BiosDescriptorRecord) == 48, "descriptor record is 48 bytes");
static_assert(offsetof(BiosDescriptorRecord, Marker) == 8, "marker at 8");
static_assert(offsetof(BiosDescriptorRecord, PartNumber) == 32, "part number at 32");
static_assert(offsetof(BiosDescriptorRecord, Year) == 44, "year at 44");
static_assert(offsetof(BiosDescriptorRecord, Month) == 46, "month at 46");
static_assert(offsetof(BiosDescriptorRecord, Day) == 47, "day at 47");

constexpr uint8_t kVolumeSignature[4] = {'_', 'F', 'V', 'H'};
constexpr uint8_t kDescriptorSignature[4] = {'$', 'B', 'D', 'R'};
constexpr uint16_t kBiosDescriptorMarker = 0x5AA5;
constexpr uint8_t kFileAttributeChecksum = 0x40;
// File sizes that end a volume's file walk (free space or no more files).
constexpr uint32_t kFileSizeEndEmpty = 0;
constexpr uint32_t kFileSizeEndErased = 0xFFFFFF;
// Candidate volumes lie at the image end minus multiples of this.
constexpr uint32_t kVolumeCandidateStep = 4096;

inline uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadLe24(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
}
inline uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// Files are laid out on 8-byte steps.
constexpr uint64_t FileStep(uint32_t fileSize) { return (static_cast<uint64_t>(fileSize) + 7) & ~uint64_t{7}; }

}  // namespace vossel
