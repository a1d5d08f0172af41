#include "image_checks.h"

#include <cstring>

namespace vossel {
namespace {

constexpr char kAwardSignature[5] = {'A', 'w', 'a', 'r', 'd'};
constexpr int64_t kAwardWindowStart = 8192;  // counted back from the image end
constexpr int64_t kAwardWindowLength = 1024;

constexpr uint32_t kHalfSummedImageSize = 0x100000;
constexpr uint32_t kHalfSumMarkerBack = 8103;  // the marker's offset back from the end (0xFE059)
constexpr uint8_t kHalfSumMarker = '[';
constexpr uint32_t kUpperHalf = 0x80000;

constexpr char kProtectedFamily[6] = {'5', 'R', '2', '7', 'H', 'X'};
constexpr char kProtectedBoard9C[8] = {'5', 'R', '2', '7', 'H', 'X', '9', 'C'};

}  // namespace

int FindAwardSignature(const uint8_t* buffer, uint32_t size) {
    if (buffer == nullptr) {
        return 0;
    }
    for (int64_t i = 0; i < kAwardWindowLength; ++i) {
        const int64_t at = int64_t{size} - kAwardWindowStart + i;
        if (at < 0 || at + int64_t{sizeof(kAwardSignature)} > int64_t{size}) {
            continue;
        }
        if (std::memcmp(buffer + at, kAwardSignature, sizeof(kAwardSignature)) == 0) {
            return 1;
        }
    }
    return 0;
}

int CheckImageSum(const uint8_t* buffer, uint32_t length, double fileCheck) {
    if (buffer == nullptr && length != 0) {
        return 0;
    }
    uint32_t first = 0;
    if (length == kHalfSummedImageSize && fileCheck != 1.0 &&
        buffer[length - kHalfSumMarkerBack] == kHalfSumMarker) {
        first = kUpperHalf;
    }
    uint8_t sum = 0;
    for (uint32_t i = first; i < length; ++i) {
        sum = static_cast<uint8_t>(sum + buffer[i]);
    }
    return sum == 0 ? 1 : 0;
}

int CheckBoardProtection(const char* partNumber, unsigned year, unsigned month, unsigned day) {
    if (std::memcmp(partNumber, kProtectedFamily, sizeof(kProtectedFamily)) != 0) {
        return 1;
    }
    bool refused;
    if (std::memcmp(partNumber, kProtectedBoard9C, sizeof(kProtectedBoard9C)) == 0) {
        // From 12 January 2012 on.
        refused = year < 2012 || (year == 2012 && month == 1 && day < 12);
    } else {
        // From 26 December 2011 on.
        refused = year < 2011 || (year == 2011 && month != 12) || (year == 2011 && month == 12 && day < 26);
    }
    return refused ? 0 : 1;
}

}  // namespace vossel
