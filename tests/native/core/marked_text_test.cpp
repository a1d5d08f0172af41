#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "marked_text.h"

namespace vossel {
namespace {

constexpr RunColour kB = RunColour::kBlack;
constexpr RunColour kR = RunColour::kRed;

struct ExpectedRun {
    std::string text;
    RunColour colour;
    size_t prefixLength;
    bool endsLine;
};

std::string Repeat(char c, size_t n) { return std::string(n, c); }

const char* ColourName(RunColour colour) { return colour == kR ? "red" : "black"; }

TEST(MarkedTextLayout, Runs) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<ExpectedRun> runs;
    };
    const std::string y254 = Repeat('y', 254);
    const Case cases[] = {
        {"update question",
         "#The screen will freeze for a few seconds# \n#while updating the BIOS.#\nDo you want to update the BIOS ?",
         {{"The screen will freeze for a few seconds", kR, 0, false},
          {" ", kB, 40, true},
          {"while updating the BIOS.", kR, 0, true},
          {"Do you want to update the BIOS ?", kB, 0, false}}},
        {"red inside a line", "A#B#C", {{"A", kB, 0, false}, {"B", kR, 1, false}, {"C", kB, 2, false}}},
        {"no marks", "plain text", {{"plain text", kB, 0, false}}},
        {"empty text", "", {}},
        {"unclosed mark", "ok #red to the end", {{"ok ", kB, 0, false}, {"red to the end", kR, 3, false}}},
        {"unclosed mark across lines", "#a\nb", {{"a", kR, 0, true}, {"b", kR, 0, false}}},
        {"mark at the end", "A#", {{"A", kB, 0, false}}},
        {"empty passage", "A##B", {{"A", kB, 0, false}, {"B", kB, 1, false}}},
        {"empty passage only", "##", {}},
        {"line of marks only", "##\nB", {{"", kB, 0, true}, {"B", kB, 0, false}}},
        {"empty line", "A\n\nB", {{"A", kB, 0, true}, {"", kB, 0, true}, {"B", kB, 0, false}}},
        {"line feed only", "\n", {{"", kB, 0, true}}},
        {"trailing line feed", "A\nB\n", {{"A", kB, 0, true}, {"B", kB, 0, true}}},
        {"mark before a line feed", "A#\nB#", {{"A", kB, 0, true}, {"B", kR, 0, false}}},
        {"line feed inside red", "#red\nstill red#", {{"red", kR, 0, true}, {"still red", kR, 0, false}}},
        {"empty line inside red", "x#a\n\nb#c",
         {{"x", kB, 0, false}, {"a", kR, 1, true}, {"", kR, 0, true}, {"b", kR, 0, false}, {"c", kB, 1, false}}},
        {"byte 0 is a character", std::string("A\0#B", 4), {{std::string("A\0", 2), kB, 0, false}, {"B", kR, 2, false}}},
        {"over-long line", Repeat('y', 300), {{y254, kB, 0, false}}},
        {"line that just fits", y254 + "\nZ", {{y254, kB, 0, true}, {"Z", kB, 0, false}}},
        {"over-long line with a line feed", Repeat('y', 300) + "\nZ", {{y254, kB, 0, true}, {"Z", kB, 0, false}}},
        {"red run across the end of the line", Repeat('x', 250) + "#abcdefghij#tail\nnext",
         {{Repeat('x', 250), kB, 0, false},
          {"abcd", kR, 250, false},
          {"", kB, 254, true},
          {"next", kB, 0, false}}},
        {"full line, red to its line feed", y254 + "#r\ns#",
         {{y254, kB, 0, false}, {"", kR, 254, true}, {"s", kR, 0, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A heap copy of exactly the text's size, so that any read past it
        // is caught.
        std::unique_ptr<char[]> text(new char[c.text.size()]);
        std::memcpy(text.get(), c.text.data(), c.text.size());
        MarkedTextLayout layout(text.get(), c.text.size());

        std::string line;
        MarkedRun run;
        for (size_t i = 0; i < c.runs.size(); ++i) {
            SCOPED_TRACE(::testing::Message() << "run " << i);
            const ExpectedRun& expected = c.runs[i];
            ASSERT_TRUE(layout.Next(&run));
            ASSERT_GE(run.text, text.get());
            ASSERT_LE(run.text + run.length, text.get() + c.text.size());
            EXPECT_EQ(expected.text, std::string(run.text, run.length));
            EXPECT_STREQ(ColourName(expected.colour), ColourName(run.colour));
            EXPECT_EQ(expected.prefixLength, run.prefixLength);
            EXPECT_EQ(expected.endsLine, run.endsLine);
            line += expected.text;
            EXPECT_EQ(line, std::string(layout.line(), line.size()));
            EXPECT_EQ('\0', layout.line()[line.size()]);
            if (run.endsLine) {
                line.clear();
            }
        }
        EXPECT_FALSE(layout.Next(&run));
        EXPECT_FALSE(layout.Next(&run));
        EXPECT_EQ(line, std::string(layout.line(), line.size()));
        EXPECT_EQ('\0', layout.line()[line.size()]);
    }
}

}  // namespace
}  // namespace vossel
