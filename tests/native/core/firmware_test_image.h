// Small firmware images for the search tests: volumes, files and descriptors
// put at chosen positions, checksums fixed (or broken on purpose) by Seal().
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

namespace vossel::testing {

constexpr uint8_t kChecksummed = 0x40;  // file attribute: the file carries checksums
constexpr uint16_t kStandardHeaderLength = 0x48;

class FirmwareImage {
public:
    explicit FirmwareImage(uint32_t size, uint8_t fill = 0xFF);

    // A volume header at `at`: zero bytes up to the header length, then the
    // signature, the length and the header length. Its checksum is fixed by
    // Seal() through the word at 50 (or at 0 for headers of 50 bytes or less).
    FirmwareImage& Volume(uint32_t at, uint32_t length, uint16_t headerLength = kStandardHeaderLength);
    // A file header and its data (filled with `fill`), both cut at the image
    // end. Seal() fixes the sums of checksummed files that fit the image.
    FirmwareImage& File(uint32_t at, uint32_t size, uint8_t attributes = kChecksummed, uint8_t fill = 0);
    // Only the header, without any data and without checksums.
    FirmwareImage& FileHeader(uint32_t at, uint32_t size, uint8_t attributes);
    // A descriptor record, cut at the image end.
    FirmwareImage& Descriptor(uint32_t at, const char* partNumber, uint16_t marker = 0x5AA5, uint16_t year = 2013,
                              uint8_t month = 5, uint8_t day = 17);
    FirmwareImage& Bytes(uint32_t at, std::initializer_list<uint8_t> bytes);
    FirmwareImage& Byte(uint32_t at, uint8_t value);

    // After Seal() these sums are off by one.
    FirmwareImage& BreakVolumeSum(uint32_t at);
    FirmwareImage& BreakFileHeaderSum(uint32_t at);
    FirmwareImage& BreakFileDataSum(uint32_t at);

    // Fixes every recorded checksum, innermost first (highest position
    // first), then applies the breaks.
    FirmwareImage& Seal();

    const uint8_t* data() const { return bytes_.data(); }
    uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    enum class Kind { kVolume, kFile };
    struct Sealed {
        Kind kind;
        uint32_t at;
        bool breakHeader;
        bool breakData;
    };
    Sealed& Record(Kind kind, uint32_t at);
    void Put(uint64_t at, uint8_t value);

    std::vector<uint8_t> bytes_;
    std::vector<Sealed> sealed_;
    std::map<std::pair<Kind, uint32_t>, size_t> sealedIndex_;
};

}  // namespace vossel::testing
