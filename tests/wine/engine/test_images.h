// Images and byte patterns the engine tests feed to the engine, made by the
// image builder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test_images {

// Part and image sizes.
constexpr uint32_t k512K = 0x80000;
constexpr uint32_t k1M = 0x100000;
constexpr uint32_t k2M = 0x200000;

std::string Bytes(const std::vector<uint8_t>& bytes);
std::string Pattern(size_t size, uint32_t seed);

// An Award image of size bytes for part_number.
std::vector<uint8_t> AwardImage(uint32_t size, const char* part_number);
// A UEFI image of size bytes whose descriptor names part_number and the date.
std::vector<uint8_t> UefiImage(uint32_t size, const char* part_number, uint16_t year = 2020, uint8_t month = 6,
                               uint8_t day = 1);

}  // namespace test_images
