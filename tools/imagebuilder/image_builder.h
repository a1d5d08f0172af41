// Builds BIOS images for tests: Award images with their trailer, and UEFI
// images made of firmware volumes, firmware files and a BiosDescriptor, with
// switches that break one thing at a time. Portable C++17, no platform header.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vossel::imagebuilder {

using PartNumber = std::array<char, 8>;

// "3K41ZT01" -> PartNumber; nullopt unless exactly 8 characters.
std::optional<PartNumber> MakePartNumber(const std::string& text);

// ---------------------------------------------------------------- Award

struct AwardImageLayout {
    uint32_t Size = 0x80000;
    uint8_t Filler = 0xFF;
    // Where "Award" starts, counted from the window start E - 8192; the window
    // holds 0 .. 1023. Values outside it (-1, 1024, ...) build the near misses.
    // nullopt: no signature.
    std::optional<int64_t> SignatureOffset = 0;
    PartNumber Part{};
};

// ---------------------------------------------------------------- UEFI

struct BiosDescriptorLayout {
    PartNumber Part{};
    uint16_t Year = 0;
    uint8_t Month = 0;
    uint8_t Day = 0;
    uint16_t Marker = 0x5AA5;
    bool BreakSignature = false;  // "$BDX" instead of "$BDR"
};

// The 48-byte record.
std::vector<uint8_t> EncodeBiosDescriptor(const BiosDescriptorLayout& descriptor);

enum class FileSizeField {
    Actual,        // the file's real size
    Zero,          // 0: ends the walk of the volume
    Erased,        // 0xFFFFFF: ends the walk of the volume
    PastImageEnd,  // reaches 8 bytes past the image end
};

struct FfsFileLayout {
    uint8_t Type = 0x01;        // raw
    uint8_t Attributes = 0x40;  // carries checksums
    uint8_t State = 0xF8;
    std::vector<uint8_t> Data;
    bool BreakHeaderChecksum = false;
    bool BreakDataChecksum = false;
    FileSizeField SizeField = FileSizeField::Actual;
};

struct FirmwareVolumeLayout {
    uint32_t Offset = 0;  // from the image start
    uint32_t Length = 0;  // bytes the volume occupies in the image
    std::vector<FfsFileLayout> Files;  // laid out from the header on, 8-byte aligned
    // Written at +32 in place of Length (e.g. past the image end, or short).
    std::optional<uint64_t> StatedLength;
    bool BreakHeaderChecksum = false;
    bool BreakSignature = false;  // "_FVX", header checksum still right
};

struct UefiImageLayout {
    uint32_t Size = 0;
    uint8_t Filler = 0xFF;  // bytes outside every volume
    std::vector<FirmwareVolumeLayout> Volumes;  // must not overlap
};

// Where things landed, offsets from the image start.
struct PlacedFile {
    uint32_t Offset = 0;
    uint32_t Size = 0;  // real size, header included
};

struct PlacedVolume {
    uint32_t Offset = 0;
    uint32_t Length = 0;
    std::vector<PlacedFile> Files;
};

struct BuiltImage {
    std::vector<uint8_t> Bytes;
    std::vector<PlacedVolume> Volumes;  // in the order of the layout
    std::string Error;                  // empty when built
    bool ok() const { return Error.empty(); }
};

BuiltImage BuildAwardImage(const AwardImageLayout& layout);
BuiltImage BuildUefiImage(const UefiImageLayout& layout);

// ---------------------------------------------------------------- recipes

// The things the command line can break in the descriptor's volume and file.
enum class ImageBreak {
    VolumeHeaderChecksum,
    VolumeSignature,
    VolumeLengthLong,   // stated length reaches past the image end
    VolumeLengthShort,  // stated length ends before the descriptor's file
    FileHeaderChecksum,
    FileDataChecksum,
    FileSizeZero,
    FileSizeErased,
    FileSizePastEnd,
    ChecksumAttributeCleared,  // 0x40 cleared, both checksum bytes wrong
    DescriptorMarker,
    DescriptorSignature,
};

struct ImageBreakName {
    const char* Name;
    ImageBreak Break;
    const char* Meaning;
};

// One row per ImageBreak, in declaration order.
extern const ImageBreakName kImageBreakNames[12];

std::optional<ImageBreak> ParseImageBreak(const std::string& name);

// A UEFI image as the command line describes it: volumes at the given
// offsets (none given: one volume over the last 64 KiB, or the whole image if
// smaller), each running up to the next volume or the image end. Every volume
// holds a raw file of pseudo-random data; the volume at DescriptorVolume (an
// index into VolumeOffsets as given) holds, after it, a raw file whose data is
// the descriptor. Breaks apply to that volume and that file.
struct UefiRecipe {
    uint32_t Size = 0;
    uint8_t Filler = 0xFF;
    std::vector<uint32_t> VolumeOffsets;
    bool WithDescriptor = true;
    size_t DescriptorVolume = 0;
    BiosDescriptorLayout Descriptor;
    std::vector<ImageBreak> Breaks;
};

// Fills *layout; returns an empty string or the reason it cannot be laid out.
std::string DescribeUefiImage(const UefiRecipe& recipe, UefiImageLayout* layout);

// An image laid out like a shipped BIOS: a small store volume at the image
// start holding pseudo-random files and, last, the descriptor's file; a main
// volume of large pseudo-random files with free space at its end; a boot
// volume at the image end. The descriptor lies in the volume a search from the
// image end tries last. Size: a multiple of 4 KiB, at least 1 MiB.
BuiltImage BuildRealisticUefiImage(uint32_t size, const BiosDescriptorLayout& descriptor);

// The worst case for a descriptor search: a volume header with a right
// checksum every 4 KiB, each claiming the rest of the image, over one chain of
// small checksummed files that every one of those volumes walks to the image
// end (the file that crosses a 4 KiB boundary carries the next header inside
// its data). With a descriptor, it is the data of the first file, so only the
// volume at the image start holds it. Size: a multiple of 4 KiB; fileSize: a
// multiple of 8 from 32 to 2048 (at least 72 with a descriptor). Volumes[i]
// lists the files that start in that volume's own 4 KiB block.
BuiltImage BuildDecoyChainImage(uint32_t size, uint32_t fileSize,
                                const std::optional<BiosDescriptorLayout>& descriptor);

// Deterministic pseudo-random bytes that never hold '$' or '_', so neither a
// descriptor signature nor a volume signature can appear in them by chance.
std::vector<uint8_t> PseudoRandomBytes(size_t count, uint32_t seed);

}  // namespace vossel::imagebuilder
