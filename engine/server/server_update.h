// The server branch of the update: picks a site and a model, downloads the
// model's image, checks its byte sum, saves it beside the engine and names the
// file in imagePath; the downloaded bytes in *downloadedBytes, for the check
// that the load of the file places them. On failure it has shown its message and
// returns false.
#pragma once

#include <cstdint>
#include <vector>

#include "image_loading.h"
#include "update_flow.h"

bool ObtainImageFromServer(ImageBuffer& buffer, char (&imagePath)[kImagePathSize],
                           std::vector<uint8_t>* downloadedBytes);
