// The image an update from a server downloaded, on its way to the write: the
// copy saved beside the engine, and the load of that copy, which must place
// the downloaded bytes and nothing else (an older file of the same name, a
// file changed in the meantime).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_loading.h"

// Saves the length bytes of image as the file at path, creating or replacing
// it. False, after one message that names the file and the cause, when the
// file could not be saved.
bool SaveDownloadedImage(const uint8_t* image, uint32_t length, const std::string& path);

// PlaceImageFile for the saved download at file, with one more refusal: the
// board mode, the size and the bytes it placed must be those the downloaded
// bytes give; otherwise one message, the buffer released, the board mode back
// and false.
bool PlaceDownloadedImageFile(vossel::UpdatePath path, const char* file, const std::vector<uint8_t>& downloaded,
                              ImageBuffer& buffer);
