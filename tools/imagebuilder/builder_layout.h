// Binary layouts the image builder writes: the standard UEFI firmware volume
// header and firmware file header, the BiosDescriptor record, and the Award
// trailer positions. Declared once here; every field is written through its
// offsetof so the layout and the writer cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vossel::imagebuilder {

#pragma pack(push, 1)

struct FvBlockMapEntry {
    uint32_t NumBlocks;
    uint32_t BlockLength;
};

// EFI_FIRMWARE_VOLUME_HEADER with a one-entry block map and its terminator.
struct FirmwareVolumeHeader {
    uint8_t ZeroVector[16];
    uint8_t FileSystemGuid[16];
    uint64_t FvLength;
    char Signature[4];  // "_FVH"
    uint32_t Attributes;
    uint16_t HeaderLength;
    uint16_t Checksum;  // 16-bit words of the header sum to 0
    uint16_t ExtHeaderOffset;
    uint8_t Reserved;
    uint8_t Revision;
    FvBlockMapEntry BlockMap[2];
};

// EFI_FFS_FILE_HEADER (the 24-byte form; large files are not built).
struct FfsFileHeader {
    uint8_t Name[16];
    uint8_t HeaderChecksum;
    uint8_t FileChecksum;
    uint8_t Type;
    uint8_t Attributes;
    uint8_t Size[3];  // header included, little-endian
    uint8_t State;
};

struct BiosDescriptorRecord {
    char Signature[4];  // "$BDR"
    uint8_t Unused0[4];
    uint16_t Marker;  // 0x5AA5
    uint8_t Unused1[22];
    char PartNumber[8];  // no terminator
    uint8_t Unused2[4];
    uint16_t Year;
    uint8_t Month;
    uint8_t Day;
};

#pragma pack(pop)

static_assert(offsetof(FirmwareVolumeHeader, FvLength) == 32, "volume length at 32");
static_assert(offsetof(FirmwareVolumeHeader, Signature) == 40, "volume signature at 40");
static_assert(offsetof(FirmwareVolumeHeader, Attributes) == 44, "volume attributes at 44");
static_assert(offsetof(FirmwareVolumeHeader, HeaderLength) == 48, "header length at 48");
static_assert(offsetof(FirmwareVolumeHeader, Checksum) == 50, "header checksum at 50");
static_assert(offsetof(FirmwareVolumeHeader, Revision) == 55, "revision at 55");
static_assert(offsetof(FirmwareVolumeHeader, BlockMap) == 56, "block map at 56");
static_assert(sizeof(FirmwareVolumeHeader) == 72, "volume header with one block-map entry is 72 bytes");

static_assert(offsetof(FfsFileHeader, HeaderChecksum) == 16, "header checksum at 16");
static_assert(offsetof(FfsFileHeader, FileChecksum) == 17, "file checksum at 17");
static_assert(offsetof(FfsFileHeader, Type) == 18, "type at 18");
static_assert(offsetof(FfsFileHeader, Attributes) == 19, "attributes at 19");
static_assert(offsetof(FfsFileHeader, Size) == 20, "size at 20");
static_assert(offsetof(FfsFileHeader, State) == 23, "state at 23");
static_assert(sizeof(FfsFileHeader) == 24, "file header is 24 bytes");

static_assert(offsetof(BiosDescriptorRecord, Marker) == 8, "marker at 8");
static_assert(offsetof(BiosDescriptorRecord, PartNumber) == 32, "part number at 32");
static_assert(offsetof(BiosDescriptorRecord, Year) == 44, "year at 44");
static_assert(offsetof(BiosDescriptorRecord, Month) == 46, "month at 46");
static_assert(offsetof(BiosDescriptorRecord, Day) == 47, "day at 47");
static_assert(sizeof(BiosDescriptorRecord) == 48, "descriptor is 48 bytes");

constexpr uint32_t kVolumeHeaderLength = sizeof(FirmwareVolumeHeader);
constexpr uint32_t kFileHeaderLength = sizeof(FfsFileHeader);
constexpr uint32_t kDescriptorLength = sizeof(BiosDescriptorRecord);
constexpr uint32_t kFileAlignment = 8;
constexpr uint32_t kMaxFileSize = 0xFFFFFE;   // 0xFFFFFF marks erased space
constexpr uint32_t kErasedFileSize = 0xFFFFFF;
constexpr uint32_t kCandidateStep = 4096;     // volumes sit at image end - k * 4 KiB

constexpr char kVolumeSignature[4] = {'_', 'F', 'V', 'H'};
constexpr char kDescriptorSignature[4] = {'$', 'B', 'D', 'R'};
constexpr uint16_t kDescriptorMarker = 0x5AA5;

// Volume attributes as the real firmware of our boards carries them: erase
// polarity 1, so erased flash and padding read 0xFF.
constexpr uint32_t kVolumeAttributes = 0x0004FEFF;
constexpr uint8_t kVolumeRevision = 2;
constexpr uint8_t kErasedByte = 0xFF;
// EFI_FIRMWARE_FILE_SYSTEM2_GUID, 8c8ce578-8a3d-4f1c-9935-896185c32dd3.
constexpr uint8_t kFfs2FileSystemGuid[16] = {0x78, 0xE5, 0x8C, 0x8C, 0x3D, 0x8A, 0x1C, 0x4F,
                                             0x99, 0x35, 0x89, 0x61, 0x85, 0xC3, 0x2D, 0xD3};

constexpr uint8_t kFileAttributeChecksum = 0x40;  // the file carries checksums
constexpr uint8_t kFixedFileChecksum = 0xAA;      // file checksum of files without 0x40
constexpr uint8_t kFileStateValid = 0xF8;         // header and data valid, erase polarity 1
constexpr uint8_t kFileTypeRaw = 0x01;
constexpr uint8_t kFileTypeFreeform = 0x02;
constexpr uint8_t kFileTypePad = 0xF0;

// Award trailer, counted back from the image end E.
constexpr uint32_t kAwardWindowDistance = 8192;  // window starts at E - 8192
constexpr uint32_t kAwardWindowLength = 1024;    // ... and holds 1024 start positions
constexpr uint32_t kAwardPartDistance = 24;      // part number at E - 24
constexpr char kAwardSignature[5] = {'A', 'w', 'a', 'r', 'd'};

constexpr uint32_t kPartNumberLength = 8;

constexpr uint32_t AlignUp(uint32_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

}  // namespace vossel::imagebuilder
