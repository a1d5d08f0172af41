#include "firmware_test_image.h"

#include <algorithm>
#include <cstring>

#include "firmware_layout.h"

namespace vossel::testing {

FirmwareImage::FirmwareImage(uint32_t size, uint8_t fill) : bytes_(size, fill) {}

void FirmwareImage::Put(uint64_t at, uint8_t value) {
    if (at < bytes_.size()) {
        bytes_[at] = value;
    }
}

FirmwareImage::Sealed& FirmwareImage::Record(Kind kind, uint32_t at) {
    const auto [entry, added] = sealedIndex_.try_emplace({kind, at}, sealed_.size());
    if (added) {
        sealed_.push_back({kind, at, false, false});
    }
    return sealed_[entry->second];
}

FirmwareImage& FirmwareImage::Volume(uint32_t at, uint32_t length, uint16_t headerLength) {
    const uint32_t cleared = std::max<uint32_t>(headerLength, sizeof(FirmwareVolumeHeaderPrefix));
    for (uint32_t i = 0; i < cleared; ++i) {
        Put(uint64_t{at} + i, 0);
    }
    for (int i = 0; i < 4; ++i) {
        Put(uint64_t{at} + 32 + i, static_cast<uint8_t>(length >> (8 * i)));
        Put(uint64_t{at} + 40 + i, kVolumeSignature[i]);
    }
    Put(uint64_t{at} + 48, static_cast<uint8_t>(headerLength));
    Put(uint64_t{at} + 49, static_cast<uint8_t>(headerLength >> 8));
    Record(Kind::kVolume, at);
    return *this;
}

FirmwareImage& FirmwareImage::FileHeader(uint32_t at, uint32_t size, uint8_t attributes) {
    for (uint32_t i = 0; i < sizeof(FirmwareFileHeader); ++i) {
        Put(uint64_t{at} + i, static_cast<uint8_t>(0x11 * (i % 16)));  // a name, checksums and state
    }
    Put(uint64_t{at} + 19, attributes);
    Put(uint64_t{at} + 20, static_cast<uint8_t>(size));
    Put(uint64_t{at} + 21, static_cast<uint8_t>(size >> 8));
    Put(uint64_t{at} + 22, static_cast<uint8_t>(size >> 16));
    return *this;
}

FirmwareImage& FirmwareImage::File(uint32_t at, uint32_t size, uint8_t attributes, uint8_t fill) {
    FileHeader(at, size, attributes);
    for (uint64_t i = sizeof(FirmwareFileHeader); i < size && at + i < bytes_.size(); ++i) {
        bytes_[at + i] = fill;
    }
    if (attributes & kChecksummed) {
        Record(Kind::kFile, at);
    }
    return *this;
}

FirmwareImage& FirmwareImage::Descriptor(uint32_t at, const char* partNumber, uint16_t marker, uint16_t year,
                                         uint8_t month, uint8_t day) {
    uint8_t record[sizeof(BiosDescriptorRecord)] = {};
    std::memcpy(record, kDescriptorSignature, 4);
    record[8] = static_cast<uint8_t>(marker);
    record[9] = static_cast<uint8_t>(marker >> 8);
    std::memcpy(record + 32, partNumber, 8);
    record[44] = static_cast<uint8_t>(year);
    record[45] = static_cast<uint8_t>(year >> 8);
    record[46] = month;
    record[47] = day;
    for (uint32_t i = 0; i < sizeof(record); ++i) {
        Put(uint64_t{at} + i, record[i]);
    }
    return *this;
}

FirmwareImage& FirmwareImage::Bytes(uint32_t at, std::initializer_list<uint8_t> bytes) {
    uint64_t i = at;
    for (uint8_t b : bytes) {
        Put(i++, b);
    }
    return *this;
}

FirmwareImage& FirmwareImage::Byte(uint32_t at, uint8_t value) {
    Put(at, value);
    return *this;
}

FirmwareImage& FirmwareImage::BreakVolumeSum(uint32_t at) {
    Record(Kind::kVolume, at).breakHeader = true;
    return *this;
}

FirmwareImage& FirmwareImage::BreakFileHeaderSum(uint32_t at) {
    Record(Kind::kFile, at).breakHeader = true;
    return *this;
}

FirmwareImage& FirmwareImage::BreakFileDataSum(uint32_t at) {
    Record(Kind::kFile, at).breakData = true;
    return *this;
}

FirmwareImage& FirmwareImage::Seal() {
    std::vector<Sealed> order = sealed_;
    std::stable_sort(order.begin(), order.end(), [](const Sealed& a, const Sealed& b) { return a.at > b.at; });
    const uint64_t end = bytes_.size();
    for (const Sealed& s : order) {
        uint8_t* p = bytes_.data() + s.at;
        if (s.kind == Kind::kFile) {
            if (s.at + uint64_t{sizeof(FirmwareFileHeader)} > end) {
                continue;
            }
            const uint32_t size = LoadLe24(p + 20);
            if (s.at + uint64_t{size} <= end) {
                uint8_t data = 0;
                for (uint32_t i = sizeof(FirmwareFileHeader); i < size; ++i) {
                    data = static_cast<uint8_t>(data + p[i]);
                }
                p[17] = static_cast<uint8_t>(0 - data + (s.breakData ? 1 : 0));
            }
            uint8_t header = 0;
            for (int i = 0; i < 24; ++i) {
                if (i != 16 && i != 17 && i != 23) {
                    header = static_cast<uint8_t>(header + p[i]);
                }
            }
            p[16] = static_cast<uint8_t>(0 - header + (s.breakHeader ? 1 : 0));
        } else {
            if (s.at + uint64_t{sizeof(FirmwareVolumeHeaderPrefix)} > end) {
                continue;
            }
            const uint16_t headerLength = LoadLe16(p + 48);
            const uint64_t words = (uint64_t{headerLength} + 1) & ~uint64_t{1};
            if (headerLength == 0 || s.at + words > end) {
                continue;
            }
            const uint32_t fixAt = headerLength > 50 ? 50 : 0;
            p[fixAt] = 0;
            p[fixAt + 1] = 0;
            uint16_t sum = 0;
            for (uint64_t i = 0; i < words; i += 2) {
                sum = static_cast<uint16_t>(sum + LoadLe16(p + i));
            }
            const uint16_t fix = static_cast<uint16_t>(0 - sum + (s.breakHeader ? 1 : 0));
            p[fixAt] = static_cast<uint8_t>(fix);
            p[fixAt + 1] = static_cast<uint8_t>(fix >> 8);
        }
    }
    return *this;
}

}  // namespace vossel::testing
