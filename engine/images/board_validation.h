// Validation of a placed image against the running board, with its messages:
// the engine's side of the decision (the PN.INI series check, the driver's
// permission, AwardFound, the board mode on a refusal).
#pragma once

#include "image_loading.h"
#include "image_validation.h"

// Validates the image that ends at offset FlashSize of buffer for the board's
// update path. On acceptance stores the write plan and returns true. On a
// refusal shows its message (no owner, OK), releases the buffer, restores the
// board mode on the Award path and returns false.
bool ValidatePlacedImage(vossel::UpdatePath path, ImageBuffer& buffer, vossel::WritePlan* plan);
