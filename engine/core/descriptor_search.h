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
// backwards, so a volume at the image start is tried last); the first
// candidate that carries "_FVH" at +40, passes VerifyFirmwareVolume and holds
// a descriptor wins. Inside a volume the first "$BDR" at or after its start
// decides: marker 0x5AA5 gives the descriptor, any other marker abandons the
// volume. Returns 1 and fills *out, or 0 and leaves *out untouched.
//
// The image end bounds everything, whatever lengths the image states:
// - a "$BDR" is looked for at V + i while i + 3 < volume length and
//   V + i + 4 <= size; one whose 48-byte record would run past the image end
//   is no descriptor and the scan goes on;
// - see VerifyFirmwareVolume for the volume checks.
int FindBiosDescriptor(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out);

// Header checksum and the checksums of every file that carries them, for the
// volume starting at image + volumeOffset. 1 good, 0 not.
//
// Header: the 16-bit little-endian words at every even offset below the header
// length (the 16-bit value at +48) must add up to 0 modulo 65536. With an odd
// header length the last word starts at header length - 1 and so takes in the
// byte at the header length. The volume fails when its first 50 bytes (up to
// and including the header length) or those words do not fit in the image.
//
// Files: from offset header length, while offset < volume length (the low 32
// bits at +32) and the file starts inside the image: a file header that runs
// past the image end fails the volume; size 0 or 0xFFFFFF ends the walk with
// success; a file with attribute 0x40 must have a zero header sum (24 bytes
// minus state and file checksum) and a zero data sum (bytes 24 .. size-1 plus
// the file checksum), and fails the volume when its data would run past the
// image end; a file without 0x40 is stepped over unchecked. The next file
// starts at the size rounded up to a multiple of 8; once that lies at or past
// the image end the walk is over.
int VerifyFirmwareVolume(const uint8_t* image, uint32_t imageSize, uint32_t volumeOffset);

namespace detail {
// FindBiosDescriptor works directly until that has cost a budget in
// proportion to the image size and only then sets up its work tables (chain
// memo, checksum prefix sums). These run the same search with fixed choices,
// for tests; all give the same results.
// Without any table: what FindBiosDescriptor falls back to when it cannot get
// memory for them (no longer linear on adversarial images).
int FindBiosDescriptorUnassisted(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out);
// With every table from the first walk on, so small images exercise them.
int FindBiosDescriptorEagerTables(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out);
// The "$BDR" scan in the portable code only, where FindBiosDescriptor takes
// the processor's widest vectors when it has them.
int FindBiosDescriptorPortableScan(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out);
}  // namespace detail

}  // namespace vossel
