// Differential fuzzing of VerifyFirmwareVolume against the reference, at any
// volume offset (also near and past the image end). The first two bytes pick
// the offset, the rest is an image recipe.
#include <cstdint>

#include "descriptor_search.h"
#include "fuzz_check.h"
#include "image_recipe.h"
#include "reference_descriptor_search.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint16_t pick = static_cast<uint16_t>(data[0] | (data[1] << 8));
    const vossel::testing::FirmwareImage image = vossel::testing::ImageFromRecipe(data + 2, size - 2);
    // Mostly candidate positions, sometimes any offset up to 64 bytes past the end.
    uint32_t volume;
    if (pick & 0x8000) {
        volume = (pick & 0x7FFF) * 3u % (image.size() + 64);
    } else {
        const uint32_t candidates = image.size() / 4096;
        volume = candidates == 0 ? 0 : image.size() - (pick % candidates + 1) * 4096;
    }
    const int engine = vossel::VerifyFirmwareVolume(image.data(), image.size(), volume);
    const int reference = vossel::reference::VerifyFirmwareVolume(image.data(), image.size(), volume);
    FUZZ_CHECK(engine == reference);
    return 0;
}
