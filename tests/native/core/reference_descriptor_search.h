// The descriptor search and volume check written out step by step, exactly
// as the engine's search is meant to behave, with the same image-end bounds
// and no shortcut. Quadratic on some inputs: for tests and fuzzing only.
#pragma once

#include <cstdint>

#include "descriptor_search.h"

namespace vossel::reference {

int FindBiosDescriptor(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out);
int VerifyFirmwareVolume(const uint8_t* image, uint32_t imageSize, uint32_t volumeOffset);

}  // namespace vossel::reference
