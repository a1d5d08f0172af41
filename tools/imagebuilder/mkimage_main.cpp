// vossel-mkimage: writes Award and UEFI test images (see README.md).
#include <iostream>
#include <string>
#include <vector>

#include "mkimage_cli.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return vossel::imagebuilder::RunMkImage(args, std::cout, std::cerr);
}
