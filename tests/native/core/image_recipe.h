// Builds a firmware image from a byte string read as a recipe: image size and
// fill, then commands that put volume headers at candidate positions (with
// files laid out behind them, checksums fixed or broken), descriptors, file
// headers and raw bytes. Any byte string is a valid recipe, so a fuzzer
// reaches deep into the search instead of stopping at the first checksum.
#pragma once

#include <cstddef>
#include <cstdint>

#include "firmware_test_image.h"

namespace vossel::testing {

// Images stay below 68 KiB so the step-by-step reference stays quick.
FirmwareImage ImageFromRecipe(const uint8_t* recipe, size_t length);

}  // namespace vossel::testing
