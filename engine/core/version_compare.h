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
// The running version is the sign-on message from its last capital 'F' on
// (the whole message when it has none). The candidate must start with 'F' or
// 'f'. Then either both second characters are digits and the digit runs from
// there compare as numbers (of any length), or both are letters and only the
// second characters compare, without regard to case. Anything else, and an
// empty sign-on message, is not comparable.
int CompareBiosVersion(const char* signOnMessage, const char* candidate);

}  // namespace vossel
