#include <gtest/gtest.h>

#include "version_compare.h"

namespace vossel {
namespace {

TEST(CompareBiosVersion, Table) {
    struct Case {
        const char* signOn;
        const char* candidate;
        int expected;
    };
    const Case cases[] = {
        {"F5", "F10", kCandidateNewer},
        {"F10", "F9", kCandidateNotNewer},
        {"F7", "F7", kCandidateNotNewer},
        {"FA", "fb", kCandidateNewer},
        {"FB", "fa", kCandidateNotNewer},
        {"F5", "FA", kCandidateNotComparable},
        {"FA", "F5", kCandidateNotComparable},
        {"F5", "10", kCandidateNotComparable},
        {"F5", "", kCandidateNotComparable},
        {"F5", "F", kCandidateNotComparable},
        {"F", "Fa", kCandidateNotComparable},  // current's second character is its terminator
        {"FA2", "FA3", kCandidateNotNewer},    // only the first two characters count
        {"FA3", "FA2", kCandidateNotNewer},
        {"F5a", "F10", kCandidateNewer},       // the digit run only
        {"F007", "F7", kCandidateNotNewer},
        {"F99999999999999999999", "F100000000000000000000", kCandidateNewer},  // no overflow
        {"F100000000000000000000", "F99999999999999999999", kCandidateNotNewer},
        {"Norvane 8IK1100 Award BIOS F7", "F7", kCandidateNotNewer},
        {"Norvane 8IK1100 Award BIOS F7", "F8", kCandidateNewer},
        {"BIOS F3 FaX", "FB", kCandidateNewer},     // from the last capital F: "FaX"
        {"BIOS F3 fa9", "F4", kCandidateNewer},     // a small f does not count
        {"W7", "F8", kCandidateNewer},              // no F: the whole message, its first character untested
        {"W7", "f6", kCandidateNotNewer},
        {"", "F8", kCandidateNotComparable},        // no running version
        {"F\xE1", "F\xC1", kCandidateNotComparable},  // letters are ASCII only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << '"' << c.signOn << "\" vs \"" << c.candidate << '"');
        EXPECT_EQ(c.expected, CompareBiosVersion(c.signOn, c.candidate));
    }
}

}  // namespace
}  // namespace vossel
