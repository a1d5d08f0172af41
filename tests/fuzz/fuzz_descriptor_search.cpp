// Differential fuzzing of FindBiosDescriptor: the engine's search, the same
// search with its work tables from the first walk on, its low-memory
// fallback, the search with its portable "$BDR" scan and the step-by-step
// reference must agree on the result and on every output byte. The input is an image recipe; an input
// starting with 0xFF is taken as a raw image instead.
#include <cstdint>
#include <cstring>
#include <vector>

#include "descriptor_search.h"
#include "fuzz_check.h"
#include "image_recipe.h"
#include "reference_descriptor_search.h"

namespace {

struct Outcome {
    int result;
    vossel::BiosDescriptorFields fields;
};

Outcome Run(int (*search)(const uint8_t*, uint32_t, vossel::BiosDescriptorFields*), const uint8_t* image,
            uint32_t size) {
    Outcome o;
    std::memset(&o.fields, 0x5C, sizeof(o.fields));
    o.result = search(image, size, &o.fields);
    return o;
}

void Compare(const uint8_t* image, uint32_t size) {
    const Outcome reference = Run(vossel::reference::FindBiosDescriptor, image, size);
    for (auto search : {vossel::FindBiosDescriptor, vossel::detail::FindBiosDescriptorEagerTables,
                        vossel::detail::FindBiosDescriptorUnassisted, vossel::detail::FindBiosDescriptorPortableScan}) {
        const Outcome outcome = Run(search, image, size);
        FUZZ_CHECK(outcome.result == reference.result);
        FUZZ_CHECK(std::memcmp(&outcome.fields, &reference.fields, sizeof(outcome.fields)) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] == 0xFF) {
        // Exactly the input's bytes, so a read past the image end is caught.
        const std::vector<uint8_t> raw(data + 1, data + size);
        Compare(raw.data(), static_cast<uint32_t>(raw.size()));
        return 0;
    }
    const vossel::testing::FirmwareImage image = vossel::testing::ImageFromRecipe(data, size);
    Compare(image.data(), image.size());
    return 0;
}
