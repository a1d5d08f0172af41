// Checks on a BIOS image held in memory: the Award trailer, the byte sum of
// downloaded images and the board protection rule. Portable: no Windows
// header, built natively as well as for the engine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vossel {

// "Award" (case-sensitive) starting anywhere from size - 8192 to
// size - 8192 + 1023. Positions that would lie outside [0, size) are not
// compared, so a short image never reads outside the buffer. 1 found, 0 not.
int FindAwardSignature(const uint8_t* buffer, uint32_t size);

// Offset of the Award image's part number, counted from the image start.
// Requires size >= 24.
constexpr uint32_t AwardPartNumberOffset(uint32_t size) { return size - 24; }

// Byte sum of a downloaded image modulo 256 must be 0. fileCheck is the
// catalogue's FileCheck value, compared with 1 exactly: a 1 MiB image whose
// byte at 0xFE059 is '[' is summed over its upper half only unless
// fileCheck == 1.
int CheckImageSum(const uint8_t* buffer, uint32_t length, double fileCheck);

// 1 allowed, 0 refused. partNumber is read as 8 bytes.
int CheckBoardProtection(const char* partNumber, unsigned year, unsigned month, unsigned day);

}  // namespace vossel
