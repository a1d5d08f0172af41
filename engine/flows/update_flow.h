// FlashBIOS, the engine's update: obtains an image (server, picked file,
// given file or memory), places and validates it for the board, confirms,
// writes it through the driver and ends with the restart.
#pragma once

#include <cstddef>

// The image path holds at most 254 characters and its terminator.
constexpr size_t kImagePathSize = 255;

enum ImageSource : int {
    kSourceServer = 0,
    kSourcePickedFile = 1,
    kSourceGivenFile = 2,
    kSourceMemory = 3,
};

extern "C" int __cdecl FlashBIOS(int source, const char* path, int keepDmi, int loadCmosDefaults,
                                 unsigned imageLength);
