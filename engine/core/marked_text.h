// Layout of the engine's marked texts: lines separated by line feeds, red
// passages between '#' marks, everything else black. The layout walks the
// text run by run and keeps the visible text of the current line in a work
// space of kMarkedLineCapacity characters, which the painter measures; it
// never reads past the text's end and never writes past the work space.
#pragma once

#include <cstddef>

namespace vossel {

// Visible characters of one line that the work space holds.
inline constexpr size_t kMarkedLineCapacity = 254;

enum class RunColour { kBlack, kRed };

struct MarkedRun {
    const char* text;  // the run's characters inside the text (no marks)
    size_t length;     // how many of them are drawn (cut where the line is full)
    RunColour colour;
    // Visible characters of the line before the run: the painter measures
    // line()[0, prefixLength) to find where the run starts.
    size_t prefixLength;
    // A line feed follows the run (maybe after marks): once it is drawn the
    // line is complete and line()[0, prefixLength + length) is its whole
    // visible text.
    bool endsLine;
};

class MarkedTextLayout {
public:
    // text need not be terminated: length bytes are read, no more.
    MarkedTextLayout(const char* text, size_t length);

    // The next run in reading order; false once the text is used up.
    // A '#' opens a red passage that the next '#' closes; an unclosed red
    // passage ends at the text's end. A run, black or red, ends before a '#',
    // a line feed or the end; when only marks stand between it and a line
    // feed, it still ends the line ("#red#\n" is one red run that ends its
    // line). A line feed inside a red passage ends the line and the passage
    // goes on in red on the next line ("#red\nstill red#" is two red lines).
    // Empty runs (two marks in a row, an empty line) are not reported as
    // runs, but a line feed always ends its line: a run of length 0 with
    // endsLine set stands for an empty line, or ends a full line whose last
    // characters were dropped. A line feed that ends the text opens no
    // further line. Characters of a line past the work space's capacity are
    // not drawn: their runs are cut to what fits, or dropped, so that
    // prefixLength + length never exceeds kMarkedLineCapacity. Every call
    // that returns true uses up at least one character or line feed.
    bool Next(MarkedRun* run);

    // The visible text of the current line so far, terminated: when Next
    // returns, it includes the run just returned. It is emptied at the start
    // of the call to Next that follows a run with endsLine.
    const char* line() const { return line_; }

private:
    const char* position_;
    const char* end_;
    char line_[kMarkedLineCapacity + 1] = {};
    size_t lineLength_ = 0;
    bool lineEnded_ = false;
    bool red_ = false;  // inside a red passage, which may span lines
};

}  // namespace vossel
