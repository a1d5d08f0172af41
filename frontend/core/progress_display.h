// What the main window's progress display shows for the engine's progress
// figures: the progress bar's frame, the percentage text and the status line,
// with where each text goes. The front end draws them with its panel text
// draw and a plain copy of the frame bitmap. Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vossel {

// Progress bar frames: bitmap resources 130 to 180; frame k shows k of 50
// steps lit (0 empty, 50 full). Each is 307 x 10 pixels, copied to (45, 174).
inline constexpr int kFirstProgressFrameResource = 130;
inline constexpr int kLastProgressFrame = 50;
inline constexpr int32_t kProgressBarX = 45;
inline constexpr int32_t kProgressBarY = 174;
inline constexpr int32_t kProgressBarWidth = 307;
inline constexpr int32_t kProgressBarHeight = 10;

// The frame for a percentage: percentage / 2, truncated toward zero, so 57
// gives 28, 99 gives 49, 100 and 101 give 50, 1, 0 and -1 give 0.
// Choice: percentages below -1 or above 101, which have no frame of their
// own, are clamped: below gives the empty frame 0, above the full frame 50.
// The bar then always shows a frame for the latest figure, instead of
// keeping whatever the previous tick drew.
int ProgressFrame(int32_t percentage);

// The bitmap resource of ProgressFrame(percentage), 130 to 180.
int ProgressFrameResource(int32_t percentage);

// What the paint shows on the bar: the percentage while a status code is
// set, 100 (the full bar) while it is 0, before any command and after one.
int32_t PaintedPercentage(int32_t statusCode, int32_t percentage);

// The percentage as "%d%%": 57 gives "57%". Choice: unlike the bar, the text
// is not clamped: it shows the figure as read, an out-of-range one included
// ("-5%", "150%"), so a driver's stray figure stays visible. The longest
// text, "-2147483648%", is 12 characters and fits the 15 blanks drawn before
// it.
std::string PercentageText(int32_t percentage);

// Texts of the panel and the status line are drawn with at most this many
// characters.
inline constexpr size_t kPanelTextMaxCharacters = 35;

// How many characters of text the panel text draw puts out: up to its first
// zero byte, at most kPanelTextMaxCharacters. Reads no further, so text need
// only be terminated when it is shorter than that.
size_t PanelTextDrawnLength(const char* text);

// The panel's and the status box's background colours (COLORREF: red in the
// low byte), also the text's background.
inline constexpr uint32_t kPanelBackground = 0x4C0E00;      // red 0, green 14, blue 76
inline constexpr uint32_t kStatusLineBackground = 0x5B1700;  // red 0, green 23, blue 91

// One text drawn on the status line, at client (x, y).
struct TextDraw {
    const char* text;
    int32_t x;
    int32_t y;
};

inline constexpr int32_t kStatusLineY = 186;

// The percentage: kPercentageBlank, then PercentageText, both at
// (kPercentageX, kStatusLineY), on every progress tick.
inline constexpr int32_t kPercentageX = 187;
inline constexpr char kPercentageBlank[] = "               ";  // 15 blanks

// The status texts, in the order they are drawn, for a status code.
struct StatusLineDraws {
    TextDraw draws[2];
    size_t count;
};

// Codes 1 to 4 and 6: 18 blanks at (127, 186), then the text there
// (" Saving ...", "Reading ...", "Writing ...", "Erasing ...",
// "Verifying ..."); 5: "Downloading ..." at (110, 186) without blanking;
// any other code, 0 included: 16 blanks at (110, 186) and again at (136, 186).
StatusLineDraws StatusLine(int32_t statusCode);

// When a command has ended: 12 blanks over the percentage, then 18 over the
// status text.
inline constexpr TextDraw kEndOfCommandDraws[] = {
    {"            ", kPercentageX, kStatusLineY},
    {"                  ", 127, kStatusLineY},
};

}  // namespace vossel
