// A small PNG encoder for screenshots: 8-bit RGB, no filtering, the image data
// in uncompressed deflate blocks. Larger than a compressed file, but short
// enough to trust and free of any library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace robot {

// Pixels top row first, three bytes (red, green, blue) per pixel.
struct RgbImage {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<uint8_t> rgb;

    const uint8_t* Pixel(unsigned x, unsigned y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler = 1);

// The complete PNG file for image; empty if the image is empty or its pixel
// buffer does not match its size.
std::vector<uint8_t> EncodePng(const RgbImage& image);

// Encodes image and writes it to path (ANSI); false if encoding or writing fails.
bool WritePngFile(const RgbImage& image, const std::string& path);

}  // namespace robot
