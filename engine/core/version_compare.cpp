#include "version_compare.h"

#include <cstring>

namespace vossel {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Upper case of the ASCII letters only, whatever the host's locale.
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }

// Compares the runs of decimal digits at a and b as numbers of any length
// (no overflow): <0, 0, >0.
int CompareDigitRuns(const char* a, const char* b) {
    while (*a == '0' && IsDigit(a[1])) {
        ++a;
    }
    while (*b == '0' && IsDigit(b[1])) {
        ++b;
    }
    size_t lengthA = 0;
    while (IsDigit(a[lengthA])) {
        ++lengthA;
    }
    size_t lengthB = 0;
    while (IsDigit(b[lengthB])) {
        ++lengthB;
    }
    if (lengthA != lengthB) {
        return lengthA < lengthB ? -1 : 1;
    }
    return std::memcmp(a, b, lengthA);
}

}  // namespace

int CompareBiosVersion(const char* signOnMessage, const char* candidate) {
    if (signOnMessage == nullptr || candidate == nullptr || signOnMessage[0] == '\0') {
        return kCandidateNotComparable;  // no running version to compare with
    }
    const char* lastF = std::strrchr(signOnMessage, 'F');
    const char* current = lastF != nullptr ? lastF : signOnMessage;

    if (candidate[0] != 'F' && candidate[0] != 'f') {
        return kCandidateNotComparable;
    }
    // Both texts have at least one character, so index 1 is at worst the terminator.
    if (IsDigit(current[1])) {
        if (!IsDigit(candidate[1])) {
            return kCandidateNotComparable;
        }
        return CompareDigitRuns(candidate + 1, current + 1) > 0 ? kCandidateNewer : kCandidateNotNewer;
    }
    const char currentLetter = UpperAscii(current[1]);
    const char candidateLetter = UpperAscii(candidate[1]);
    if (!IsUpperLetter(currentLetter) || !IsUpperLetter(candidateLetter)) {
        return kCandidateNotComparable;
    }
    return candidateLetter > currentLetter ? kCandidateNewer : kCandidateNotNewer;
}

}  // namespace vossel
