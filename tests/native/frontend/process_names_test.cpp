#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "process_names.h"

namespace vossel {
namespace {

TEST(SameExecutableName, WholeNameIgnoringAsciiCaseOnly) {
    struct Case {
        std::string found;
        const char* target;
        bool same;
    };
    const Case cases[] = {
        {"brumo.exe", "brumo.exe", true},
        {"BRUMO.EXE", "brumo.exe", true},
        {"Brumo.Exe", "brumo.exe", true},
        {"brumo.exe", "BRUMO.EXE", true},  // the target's case does not count either
        {"IMPRINTA.exe", kBootLogoUtilityName, true},
        {"xbrumo.exe", "brumo.exe", false},
        {"brumo.exe.bak", "brumo.exe", false},
        {"brumo", "brumo.exe", false},
        {"brumo.ex", "brumo.exe", false},
        {"", "brumo.exe", false},
        {"brumo.exe", "", false},
        {"", "", true},
        {"trivex.exe", "brumo.exe", false},
        // Only A to Z fold: '@' and '[' lie next to them and differ from
        // '`' and '{' in the same bit as 'A' from 'a'.
        {"@.exe", "`.exe", false},
        {"[.exe", "{.exe", false},
        // Bytes of 0x80 and above match only themselves.
        {"\xC9tude.exe", "\xC9TUDE.EXE", true},
        {"\xC9tude.exe", "\xE9tude.exe", false},
        {"\xE9tude.exe", "\xC9tude.exe", false},
        {"brumo\xFF.exe", "brumo\xFF.exe", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "'" << c.found << "' against '" << c.target << "'");
        EXPECT_EQ(c.same, SameExecutableName(c.found.c_str(), c.found.size() + 1, c.target));
    }
}

TEST(SameExecutableName, NeverReadsPastTheFoundNamesField) {
    // A field filled to its end with no terminator holds exactly its
    // capacity in characters.
    const char name[] = "brumo.exe";
    std::unique_ptr<char[]> field(new char[9]);
    std::memcpy(field.get(), name, 9);
    EXPECT_TRUE(SameExecutableName(field.get(), 9, "BRUMO.EXE"));
    EXPECT_FALSE(SameExecutableName(field.get(), 9, "brumo.exe2"));
    EXPECT_FALSE(SameExecutableName(field.get(), 8, "brumo.exe"));
    EXPECT_TRUE(SameExecutableName(field.get(), 8, "brumo.ex"));
    EXPECT_TRUE(SameExecutableName(field.get(), 0, ""));
}

TEST(ConflictingProgramNames, InTheOrderTheyAreEnded) {
    ASSERT_EQ(3u, sizeof kConflictingProgramNames / sizeof kConflictingProgramNames[0]);
    EXPECT_STREQ("brumo.exe", kConflictingProgramNames[0]);
    EXPECT_STREQ("trivex.exe", kConflictingProgramNames[1]);
    EXPECT_STREQ("plorvad.exe", kConflictingProgramNames[2]);
}

}  // namespace
}  // namespace vossel
