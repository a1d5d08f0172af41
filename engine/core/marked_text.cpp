#include "marked_text.h"

#include <cstring>

namespace vossel {

namespace {

constexpr char kMark = '#';
constexpr char kLineFeed = '\n';

}  // namespace

MarkedTextLayout::MarkedTextLayout(const char* text, size_t length) : position_(text), end_(text + length) {}

bool MarkedTextLayout::Next(MarkedRun* run) {
    if (lineEnded_) {
        lineLength_ = 0;
        line_[0] = '\0';
        lineEnded_ = false;
    }
    while (position_ != end_) {
        if (*position_ == kMark) {
            red_ = !red_;
            ++position_;
            continue;
        }
        const char* start = position_;
        const char* stop = start;
        while (stop != end_ && *stop != kMark && *stop != kLineFeed) {
            ++stop;
        }
        // Marks between the run and a line feed do not part them: the run
        // still ends the line. The marks are used up here either way.
        const RunColour colour = red_ ? RunColour::kRed : RunColour::kBlack;
        const char* after = stop;
        while (after != end_ && *after == kMark) {
            red_ = !red_;
            ++after;
        }
        const bool endsLine = after != end_ && *after == kLineFeed;
        position_ = endsLine ? after + 1 : after;

        const size_t count = static_cast<size_t>(stop - start);
        const size_t room = kMarkedLineCapacity - lineLength_;
        const size_t drawn = count < room ? count : room;
        if (drawn == 0 && !endsLine) {
            continue;  // the line is full: the run is dropped
        }
        std::memcpy(line_ + lineLength_, start, drawn);
        run->text = start;
        run->length = drawn;
        run->colour = colour;
        run->prefixLength = lineLength_;
        run->endsLine = endsLine;
        lineLength_ += drawn;
        line_[lineLength_] = '\0';
        lineEnded_ = endsLine;
        return true;
    }
    return false;
}

}  // namespace vossel
