// Finding the BiosDescriptor ("$BDR") of a UEFI image inside a checksummed
// firmware volume. Portable; every input costs time linear in its size and
// nothing is read outside [buffer, buffer + size).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vossel {

struct BiosDescriptorFields {
    char PartNumber[8];  // no terminator
    uint16_t Year;
    uint8_t Month;
    uint8_t Day;
};

// Candidate volumes start at size - k*4096 for k = 1, 2, ... (image end
// backwards); the first verified volume holding a descriptor with marker
// 0x5AA5 wins. Returns 1 and fills *out, or 0 and leaves *out untouched.
int FindBiosDescriptor(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out);

// Header checksum and the checksums of every file that carries them, for the
// volume starting at image + volumeOffset. The image end bounds every read.
int VerifyFirmwareVolume(const uint8_t* image, uint32_t imageSize, uint32_t volumeOffset);

}  // namespace vossel
