// The server branch of the update: picks a site and a model, downloads the
// image beside the engine and names it in imagePath. On failure it has shown
// its message and returns false.
#pragma once

#include <cstddef>

bool ObtainImageFromServer(char* imagePath, size_t capacity);
