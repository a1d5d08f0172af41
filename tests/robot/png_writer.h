// Screenshots as PNG files (8-bit RGB), encoded by stb_image_write.
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

// The complete PNG file for image; empty if the image is empty, too large
// for the encoder or its pixel buffer does not match its size.
std::vector<uint8_t> EncodePng(const RgbImage& image);

// Encodes image and writes it to path (ANSI); false if encoding or writing fails.
bool WritePngFile(const RgbImage& image, const std::string& path);

}  // namespace robot
