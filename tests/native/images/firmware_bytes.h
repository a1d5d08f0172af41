// Test-side reading of firmware volume and file bytes, written from the
// standard layouts independently of both the image builder and the engine,
// so a fault shared by those two cannot hide behind this code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fwbytes {

using Bytes = std::vector<uint8_t>;

inline uint32_t Le16(const Bytes& b, size_t at) { return b.at(at) | b.at(at + 1) << 8; }
inline uint32_t Le24(const Bytes& b, size_t at) { return Le16(b, at) | uint32_t(b.at(at + 2)) << 16; }
inline uint32_t Le32(const Bytes& b, size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }
inline uint64_t Le64(const Bytes& b, size_t at) { return Le32(b, at) | uint64_t(Le32(b, at + 4)) << 32; }
inline std::string Text(const Bytes& b, size_t at, size_t length) {
    return std::string(b.begin() + long(at), b.begin() + long(at + length));
}

// Volume header: 64-bit length at 32, "_FVH" at 40, header length at 48,
// checksum at 50; the header's 16-bit words sum to 0.
constexpr size_t kFvLength = 32, kFvSignature = 40, kFvHeaderLength = 48, kFvChecksum = 50;
// File header: checksums at 16 (header) and 17 (data), type 18, attributes 19,
// 24-bit size 20, state 23.
constexpr size_t kFileHeaderSum = 16, kFileDataSum = 17, kFileType = 18, kFileAttributes = 19, kFileSize = 20,
                 kFileState = 23, kFileHeaderBytes = 24;
constexpr uint8_t kCarriesChecksums = 0x40;

inline uint16_t VolumeHeaderWordSum(const Bytes& b, size_t volume) {
    const size_t length = Le16(b, volume + kFvHeaderLength);
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) sum += Le16(b, volume + i);
    return uint16_t(sum);
}

inline uint8_t FileHeaderSum(const Bytes& b, size_t file) {
    uint32_t sum = 0;
    for (size_t i = 0; i < kFileHeaderBytes; ++i)
        if (i != kFileDataSum && i != kFileState) sum += b.at(file + i);
    return uint8_t(sum);
}

inline uint8_t FileDataSum(const Bytes& b, size_t file, size_t size) {
    uint32_t sum = b.at(file + kFileDataSum);
    for (size_t i = kFileHeaderBytes; i < size; ++i) sum += b.at(file + i);
    return uint8_t(sum);
}

struct WalkedFile {
    size_t Offset;  // in the image
    uint32_t Size;
    uint8_t Type;
    uint8_t Attributes;
};

// The volume's files from its header length on, 8-byte steps, until a size
// of 0 or 0xFFFFFF, the stated length or a header that would cross the end.
inline std::vector<WalkedFile> WalkFiles(const Bytes& b, size_t volume) {
    std::vector<WalkedFile> files;
    const uint64_t length = Le64(b, volume + kFvLength);
    for (uint64_t at = Le16(b, volume + kFvHeaderLength); at < length;) {
        const size_t file = size_t(volume + at);
        if (file + kFileHeaderBytes > b.size()) break;
        const uint32_t size = Le24(b, file + kFileSize);
        if (size == 0 || size == 0xFFFFFF) break;
        files.push_back({file, size, b[file + kFileType], b[file + kFileAttributes]});
        at += (size + 7) / 8 * 8;
    }
    return files;
}

// Sets 0x40 on the file and writes both checksums so the file passes.
inline void ArmChecksums(Bytes& b, size_t file, size_t size) {
    b.at(file + kFileAttributes) |= kCarriesChecksums;
    b.at(file + kFileHeaderSum) = 0;
    b.at(file + kFileHeaderSum) = uint8_t(0x100 - FileHeaderSum(b, file));
    b.at(file + kFileDataSum) = 0;
    b.at(file + kFileDataSum) = uint8_t(0x100 - FileDataSum(b, file, size));
}

}  // namespace fwbytes
