#include "png_writer.h"

#include <windows.h>

#include <limits>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO  // files are written below, with an ANSI path
#include <stb_image_write.h>

namespace robot {
namespace {

constexpr int kRgbComponents = 3;

void AppendToVector(void* context, void* data, int size) {
    auto& out = *static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

}  // namespace

std::vector<uint8_t> EncodePng(const RgbImage& image) {
    if (image.width == 0 || image.height == 0) return {};
    const size_t row_bytes = size_t(image.width) * kRgbComponents;
    if (image.rgb.size() / image.height != row_bytes || image.rgb.size() % image.height != 0) return {};
    // The encoder counts in int, a filter byte per row included.
    if (image.rgb.size() + image.height > size_t(std::numeric_limits<int>::max())) return {};
    std::vector<uint8_t> png;
    if (!stbi_write_png_to_func(AppendToVector, &png, int(image.width), int(image.height), kRgbComponents,
                                image.rgb.data(), int(row_bytes))) {
        return {};
    }
    return png;
}

bool WritePngFile(const RgbImage& image, const std::string& path) {
    const std::vector<uint8_t> png = EncodePng(image);
    if (png.empty()) return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, png.data(), DWORD(png.size()), &written, nullptr) && written == png.size();
    const bool closed = CloseHandle(file) != 0;
    if (!ok || !closed) {
        DeleteFileA(path.c_str());
        return false;
    }
    return true;
}

}  // namespace robot
