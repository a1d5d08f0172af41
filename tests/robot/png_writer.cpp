#include "png_writer.h"

#include <windows.h>

#include <array>

namespace robot {
namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kStoredBlockMax = 0xFFFF;  // largest uncompressed deflate block
constexpr uint8_t kBitDepth8 = 8;
constexpr uint8_t kColourTypeRgb = 2;
constexpr uint8_t kFilterNone = 0;

void PutBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value >> 24));
    out.push_back(uint8_t(value >> 16));
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void PutChunk(std::vector<uint8_t>& out, const char (&type)[5], const std::vector<uint8_t>& data) {
    PutBigEndian32(out, uint32_t(data.size()));
    const size_t type_at = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBigEndian32(out, Crc32(&out[type_at], 4 + data.size()));
}

// zlib stream (RFC 1950) of raw in stored deflate blocks (RFC 1951, type 00).
std::vector<uint8_t> ZlibStored(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> z;
    z.reserve(raw.size() + raw.size() / kStoredBlockMax * 5 + 16);
    z.push_back(0x78);  // deflate, 32 KiB window
    z.push_back(0x01);  // no dictionary, fastest; 0x7801 is a multiple of 31
    size_t at = 0;
    do {
        const size_t len = raw.size() - at < kStoredBlockMax ? raw.size() - at : kStoredBlockMax;
        const bool final_block = at + len == raw.size();
        z.push_back(final_block ? 1 : 0);
        z.push_back(uint8_t(len));
        z.push_back(uint8_t(len >> 8));
        z.push_back(uint8_t(~len));
        z.push_back(uint8_t(~len >> 8));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + len);
        at += len;
    } while (at < raw.size());
    PutBigEndian32(z, Adler32(raw.data(), raw.size()));
    return z;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler) {
    constexpr uint32_t kModulus = 65521;
    uint32_t a = adler & 0xFFFF;
    uint32_t b = adler >> 16;
    for (size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % kModulus;
        b = (b + a) % kModulus;
    }
    return (b << 16) | a;
}

std::vector<uint8_t> EncodePng(const RgbImage& image) {
    if (image.width == 0 || image.height == 0) return {};
    const size_t row_bytes = size_t(image.width) * 3;
    if (image.rgb.size() != row_bytes * image.height) return {};

    std::vector<uint8_t> raw;
    raw.reserve((row_bytes + 1) * image.height);
    for (unsigned y = 0; y < image.height; ++y) {
        raw.push_back(kFilterNone);
        raw.insert(raw.end(), image.rgb.begin() + y * row_bytes, image.rgb.begin() + (y + 1) * row_bytes);
    }

    std::vector<uint8_t> header;
    PutBigEndian32(header, image.width);
    PutBigEndian32(header, image.height);
    header.push_back(kBitDepth8);
    header.push_back(kColourTypeRgb);
    header.push_back(0);  // compression: deflate
    header.push_back(0);  // filter method 0
    header.push_back(0);  // no interlace

    std::vector<uint8_t> png(kSignature, kSignature + sizeof kSignature);
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", ZlibStored(raw));
    PutChunk(png, "IEND", {});
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
