#include "process_names.h"

namespace vossel {

namespace {

// Only A to Z change: a locale's case rules would turn bytes of 0x80 and
// above into others.
unsigned char AsciiLower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

bool SameExecutableName(const char* found, size_t foundCapacity, const char* target) {
    size_t i = 0;
    for (; i < foundCapacity && found[i] != '\0'; ++i) {
        if (target[i] == '\0' ||
            AsciiLower(static_cast<unsigned char>(found[i])) != AsciiLower(static_cast<unsigned char>(target[i]))) {
            return false;
        }
    }
    return target[i] == '\0';
}

}  // namespace vossel
