// The vossel-mkimage command line, kept apart from main() so tests drive it.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace vossel::imagebuilder {

enum MkImageExit : int {
    kMkImageMade = 0,
    kMkImageWriteFailed = 1,
    kMkImageBadArguments = 2,
};

// args without the program name. Messages go to out (summary, help) and
// err (problems).
int RunMkImage(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// "0x80000", "524288", "512K", "8M" -> value; false for anything else,
// including values above limit.
bool ParseSize(const std::string& text, uint64_t limit, uint64_t* value);

}  // namespace vossel::imagebuilder
