#include "image_recipe.h"

namespace vossel::testing {
namespace {

// Reads the recipe front to back; an exhausted recipe reads as zeros.
class RecipeReader {
public:
    RecipeReader(const uint8_t* data, size_t length) : data_(data), length_(length) {}
    bool Empty() const { return position_ >= length_; }
    uint8_t U8() { return position_ < length_ ? data_[position_++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
    uint32_t U24() { return U16() | (static_cast<uint32_t>(U8()) << 16); }
    uint32_t U32() { return U16() | (static_cast<uint32_t>(U16()) << 16); }
    template <size_t N>
    uint32_t Pick(const uint32_t (&choices)[N]) {
        return choices[U8() % N];
    }

private:
    const uint8_t* data_;
    size_t length_;
    size_t position_ = 0;
};

constexpr uint32_t kPage = 4096;
constexpr uint32_t kMaxPages = 16;
constexpr int kMaxFilesPerVolume = 12;
constexpr char kPartNumbers[4][9] = {"7A19QB2D", "7A19QB2E", "5R27HX9C", "5R27HX31"};

void PutDescriptor(RecipeReader& in, FirmwareImage& image, uint32_t at) {
    const uint8_t choice = in.U8();
    const uint16_t marker = (choice & 0x30) == 0x30 ? in.U16() : 0x5AA5;
    const uint16_t year = static_cast<uint16_t>(2005 + in.U8() % 16);
    const uint8_t month = static_cast<uint8_t>(in.U8() % 14);
    const uint8_t day = static_cast<uint8_t>(in.U8() % 33);
    image.Descriptor(at, kPartNumbers[choice & 3], marker, year, month, day);
}

void PutVolume(RecipeReader& in, FirmwareImage& image) {
    const uint32_t size = image.size();
    const uint8_t placement = in.U8();
    uint32_t volume;
    if (placement & 0x80) {
        volume = in.U32() % size;  // anywhere: only met as bytes inside other volumes
    } else {
        const uint32_t candidates = size / kPage;
        if (candidates == 0) {
            return;
        }
        volume = size - (placement % candidates + 1) * kPage;
    }
    const uint32_t usualLength = in.Pick({0x48, 0x48, 0x48, 0x38, 0x49, 0x47, 0, 1, 2, 50, 51, 52, 0x1000});
    const uint16_t headerLength = static_cast<uint16_t>(usualLength + ((placement & 0x40) ? in.U8() : 0));
    const uint32_t toEnd = size - volume;
    uint32_t length;
    switch (in.U8() % 6) {
        case 0:
        case 1:
            length = toEnd;
            break;
        case 2:
            length = toEnd + in.U16();
            break;
        case 3:
            length = in.U16();
            break;
        case 4:
            length = in.U32();
            break;
        default:
            length = toEnd - in.U16() % (toEnd + 1);
            break;
    }
    image.Volume(volume, length, headerLength);
    const uint8_t flags = in.U8();
    if ((flags & 7) == 7) {
        image.BreakVolumeSum(volume);
    }

    uint64_t file = uint64_t{volume} + headerLength;
    const int files = in.U8() % (kMaxFilesPerVolume + 1);
    for (int i = 0; i < files && file < size; ++i) {
        uint32_t fileSize;
        switch (in.U8() % 8) {
            case 0:
                fileSize = 0;
                break;
            case 1:
                fileSize = 0xFFFFFF;
                break;
            case 2:
                fileSize = in.U8() % 24;
                break;
            case 3:
                fileSize = in.U24();
                break;
            case 4:
                fileSize = static_cast<uint32_t>(size - file + in.U8() % 64);  // to or past the image end
                break;
            default:
                fileSize = 24 + in.U8() * 4u + 48;
                break;
        }
        const uint8_t kind = in.U8();
        const uint8_t attributes = (kind & 3) == 3 ? static_cast<uint8_t>(in.U8() & ~kChecksummed)
                                                   : static_cast<uint8_t>(kChecksummed | (kind & 0x80));
        const uint8_t fill = in.U8();
        image.File(static_cast<uint32_t>(file), fileSize, attributes, fill);
        if ((kind & 0x0C) == 0x04 && fileSize >= 24 + 48) {
            const uint32_t record = static_cast<uint32_t>(file + 24 + (in.U8() % 4) * 8);
            PutDescriptor(in, image, record);
        }
        if ((kind & 0x70) == 0x10) {
            image.BreakFileHeaderSum(static_cast<uint32_t>(file));
        } else if ((kind & 0x70) == 0x20) {
            image.BreakFileDataSum(static_cast<uint32_t>(file));
        }
        file += (uint64_t{fileSize} + 7) & ~uint64_t{7};
    }
}

}  // namespace

FirmwareImage ImageFromRecipe(const uint8_t* recipe, size_t length) {
    RecipeReader in(recipe, length);
    const uint8_t shape = in.U8();
    const uint32_t pages = shape % (kMaxPages + 1);
    const uint32_t tail = (shape & 0x60) == 0x60 ? in.U16() % kPage : 0;
    uint32_t size = pages * kPage + tail;
    if (size == 0) {
        size = 1 + in.U8();
    }
    const uint8_t fill = (shape & 0x80) ? in.U8() : 0xFF;
    FirmwareImage image(size, fill);

    while (!in.Empty()) {
        switch (in.U8() % 8) {
            case 0:
            case 1:
            case 2:
                PutVolume(in, image);
                break;
            case 3:
                PutDescriptor(in, image, in.U32() % size);
                break;
            case 4: {
                const uint32_t at = in.U32() % size;
                const uint32_t fileSize = in.Pick({0, 0xFFFFFF, 24, 48, 100, 0x1000}) + in.U8();
                const uint8_t attributes = in.U8();
                const uint8_t fill = in.U8();
                image.File(at, fileSize, attributes, fill);
                break;
            }
            case 5: {
                const uint32_t at = in.U32() % size;
                const int count = 1 + in.U8() % 8;
                for (int i = 0; i < count; ++i) {
                    image.Byte(at + i, in.U8());
                }
                break;
            }
            case 6: {
                // A bare signature at a candidate's +40, header left as it is.
                const uint32_t candidates = size / kPage;
                if (candidates > 0) {
                    image.Bytes(size - (in.U8() % candidates + 1) * kPage + 40, {'_', 'F', 'V', 'H'});
                }
                break;
            }
            default:
                image.Bytes(in.U32() % size, {'$', 'B', 'D', 'R'});
                break;
        }
    }
    image.Seal();
    return image;
}

}  // namespace vossel::testing
