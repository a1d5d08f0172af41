// Properties of the marked text layout on any bytes. The text sits in a heap
// buffer of exactly its size, so any read past it is caught. Every run must
// lie inside the text, hold no mark or line feed, carry the colour the marks
// before it give, and fit the line's work space; line() must be the runs of
// the current line so far. Line by line the runs must give the text with its
// marks removed, cut to the work space, and the layout must end after at most
// one call per byte and one more.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "marked_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using vossel::kMarkedLineCapacity;
    std::unique_ptr<char[]> text(new char[size]);
    if (size != 0) {
        std::memcpy(text.get(), data, size);
    }
    const char* const begin = text.get();
    const char* const end = begin + size;

    // What the marks say: each byte's colour, and each line's visible text
    // cut to the work space. A line feed that ends the text opens no line.
    std::vector<bool> red(size);
    std::vector<std::string> expectedLines(1);
    bool inRed = false;
    for (size_t i = 0; i < size; ++i) {
        red[i] = inRed;
        if (begin[i] == '#') {
            inRed = !inRed;
        } else if (begin[i] == '\n') {
            expectedLines.emplace_back();
        } else if (expectedLines.back().size() < kMarkedLineCapacity) {
            expectedLines.back() += begin[i];
        }
    }
    // Lines ended by a line feed; the last entry is the unended rest.
    const size_t endedLines = expectedLines.size() - 1;

    vossel::MarkedTextLayout layout(begin, size);
    vossel::MarkedRun run;
    std::string line;
    size_t lineIndex = 0;
    const char* previousEnd = begin;
    size_t calls = 0;
    for (;;) {
        ++calls;
        FUZZ_CHECK(calls <= size + 1);
        if (!layout.Next(&run)) {
            break;
        }
        FUZZ_CHECK(run.text >= previousEnd && run.text <= end);
        FUZZ_CHECK(run.length <= static_cast<size_t>(end - run.text));
        FUZZ_CHECK(run.prefixLength == line.size());
        FUZZ_CHECK(run.prefixLength + run.length <= kMarkedLineCapacity);
        // An empty run only stands for an empty line or ends a full one: a
        // line feed after marks belongs to the run before them.
        FUZZ_CHECK(run.length != 0 || run.endsLine);
        FUZZ_CHECK(run.length != 0 || run.prefixLength == 0 || run.prefixLength == kMarkedLineCapacity);
        for (size_t i = 0; i < run.length; ++i) {
            FUZZ_CHECK(run.text[i] != '#' && run.text[i] != '\n');
            FUZZ_CHECK(red[static_cast<size_t>(run.text + i - begin)] == (run.colour == vossel::RunColour::kRed));
        }
        previousEnd = run.text + run.length;
        line.append(run.text, run.length);

        const char* shown = layout.line();
        FUZZ_CHECK(std::memchr(shown, '\0', kMarkedLineCapacity + 1) != nullptr);
        FUZZ_CHECK(shown[line.size()] == '\0' && std::memcmp(shown, line.data(), line.size()) == 0);

        if (run.endsLine) {
            FUZZ_CHECK(lineIndex < endedLines && line == expectedLines[lineIndex]);
            ++lineIndex;
            line.clear();
        }
    }
    FUZZ_CHECK(lineIndex == endedLines && line == expectedLines.back());
    FUZZ_CHECK(!layout.Next(&run));
    return 0;
}
