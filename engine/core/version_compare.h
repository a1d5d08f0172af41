// Comparison of a catalogue's BIOS version text with the running BIOS's
// sign-on message. Portable.
#pragma once

namespace vossel {

enum BiosVersionOrder : int {
    kCandidateNewer = 0,
    kCandidateNotComparable = 1,
    kCandidateNotNewer = 2,
};

// signOnMessage: the running BIOS's sign-on text (NUL-terminated, may be
// empty). candidate: the offered version text (NUL-terminated).
int CompareBiosVersion(const char* signOnMessage, const char* candidate);

}  // namespace vossel
