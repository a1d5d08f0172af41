#include "reference_descriptor_search.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vossel::reference {
namespace {

// Every byte is read through here; a read outside the image is a fault of the
// reference itself and stops the test at once.
class Image {
public:
    Image(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}
    uint64_t size() const { return size_; }
    uint8_t Byte(uint64_t at) const {
        if (at >= size_) {
            std::fprintf(stderr, "reference search read at %llu of a %llu-byte image\n",
                         static_cast<unsigned long long>(at), static_cast<unsigned long long>(size_));
            std::abort();
        }
        return data_[at];
    }
    uint16_t Le16(uint64_t at) const { return static_cast<uint16_t>(Byte(at) | (Byte(at + 1) << 8)); }
    uint32_t Le24(uint64_t at) const {
        return Byte(at) | (static_cast<uint32_t>(Byte(at + 1)) << 8) | (static_cast<uint32_t>(Byte(at + 2)) << 16);
    }
    uint32_t Le32(uint64_t at) const { return Le16(at) | (static_cast<uint32_t>(Le16(at + 2)) << 16); }
    bool Text(uint64_t at, const char* text) const {
        for (uint64_t i = 0; text[i] != '\0'; ++i) {
            if (Byte(at + i) != static_cast<uint8_t>(text[i])) {
                return false;
            }
        }
        return true;
    }

private:
    const uint8_t* data_;
    uint64_t size_;
};

int Verify(const Image& image, uint64_t v) {
    // Signature, length and header length: the first 50 bytes.
    if (v + 50 > image.size()) {
        return 0;
    }
    const uint32_t volumeLength = image.Le32(v + 32);
    const uint16_t headerLength = image.Le16(v + 48);

    // 1. Header checksum over the words at every even offset below the header length.
    uint16_t headerSum = 0;
    for (uint64_t offset = 0; offset < headerLength; offset += 2) {
        if (v + offset + 2 > image.size()) {
            return 0;
        }
        headerSum = static_cast<uint16_t>(headerSum + image.Le16(v + offset));
    }
    if (headerSum != 0) {
        return 0;
    }

    // 2. File walk.
    uint64_t offset = headerLength;
    while (offset < volumeLength) {
        const uint64_t file = v + offset;
        if (file >= image.size()) {
            break;  // the next file would start past the image end: the walk is over
        }
        if (file + 24 > image.size()) {
            return 0;  // header runs past the image end
        }
        const uint32_t size = image.Le24(file + 20);
        if (size == 0xFFFFFF || size == 0) {
            break;
        }
        if (image.Byte(file + 19) & 0x40) {
            uint8_t header = 0;
            for (uint64_t i = 0; i < 24; ++i) {
                header = static_cast<uint8_t>(header + image.Byte(file + i));
            }
            header = static_cast<uint8_t>(header - image.Byte(file + 23) - image.Byte(file + 17));
            if (header != 0) {
                return 0;
            }
            if (file + size > image.size()) {
                return 0;  // data runs past the image end
            }
            uint8_t data = image.Byte(file + 17);
            for (uint64_t i = 24; i < size; ++i) {
                data = static_cast<uint8_t>(data + image.Byte(file + i));
            }
            if (data != 0) {
                return 0;
            }
        }
        offset += (uint64_t{size} + 7) / 8 * 8;
    }
    // 3.
    return 1;
}

}  // namespace

int VerifyFirmwareVolume(const uint8_t* image, uint32_t imageSize, uint32_t volumeOffset) {
    return Verify(Image(image, imageSize), volumeOffset);
}

int FindBiosDescriptor(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out) {
    const Image image(buffer, size);
    for (uint64_t k = 1; k * 4096 <= size; ++k) {
        const uint64_t v = size - k * 4096;
        if (!image.Text(v + 40, "_FVH") || Verify(image, v) != 1) {
            continue;
        }
        const uint32_t volumeLength = image.Le32(v + 32);
        for (uint64_t i = 0; i + 3 < volumeLength && v + i + 4 <= size; ++i) {
            if (!image.Text(v + i, "$BDR")) {
                continue;
            }
            if (v + i + 48 > size) {
                continue;  // the record would run past the image end: no descriptor
            }
            if (image.Le16(v + i + 8) != 0x5AA5) {
                break;  // abandon this volume
            }
            for (uint64_t j = 0; j < 8; ++j) {
                out->PartNumber[j] = static_cast<char>(image.Byte(v + i + 32 + j));
            }
            out->Year = image.Le16(v + i + 44);
            out->Month = image.Byte(v + i + 46);
            out->Day = image.Byte(v + i + 47);
            return 1;
        }
    }
    return 0;
}

}  // namespace vossel::reference
