#include "message_dialogs.h"

#include <cstring>

#include "marked_text.h"
#include "vossel_resource.h"

char MessageTitle[256];
char MessageText[1024];
char ConfirmText[256];

const char kUpdateConfirmText[] =
    "#The screen will freeze for a few seconds# \n#while updating the BIOS.#\nDo you want to update the BIOS ?";
static_assert(sizeof kUpdateConfirmText == 104, "103 characters and the terminator");
static_assert(sizeof kUpdateConfirmText <= sizeof ConfirmText, "the confirmation fits its buffer");

const char kRestartText[] =
    "BIOS update completed! You must restart\n"
    "your system to take new changes.\n"
    "(Reboot cycle is strongly recommended\n"
    "for current BIOS update.)";
static_assert(sizeof kRestartText == 137, "four lines, 136 characters");

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);

// Text margins of the dialogs, in client pixels.
constexpr int kMessageLeftMargin = 24;
constexpr int kConfirmLeftMargin = 34;
constexpr int kRestartLeftMargin = 20;
constexpr int kFirstLineY = 20;

class PaintContext {
public:
    explicit PaintContext(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {
        // No font is selected: the context's default (the system font)
        // measures and draws. The dialog's background shows between letters.
        SetBkMode(dc_, TRANSPARENT);
    }
    ~PaintContext() { EndPaint(window_, &paint_); }
    PaintContext(const PaintContext&) = delete;
    PaintContext& operator=(const PaintContext&) = delete;

    HDC dc() const { return dc_; }

    // Height of one line of text: what measuring the line reports, or the
    // font's height for an empty line.
    int LineHeight(const char* text, size_t length) const {
        SIZE size = {};
        if (length > 0 && GetTextExtentPoint32A(dc_, text, int(length), &size) && size.cy > 0) return size.cy;
        TEXTMETRICA metrics = {};
        GetTextMetricsA(dc_, &metrics);
        return metrics.tmHeight;
    }

    int Width(const char* text, size_t length) const {
        SIZE size = {};
        if (length == 0 || !GetTextExtentPoint32A(dc_, text, int(length), &size)) return 0;
        return size.cx;
    }

private:
    HWND window_;
    PAINTSTRUCT paint_ = {};
    HDC dc_;
};

std::string BufferText(const char* buffer, size_t capacity) { return std::string(buffer, strnlen(buffer, capacity)); }

}  // namespace

void PaintMarkedText(HWND window, const char* text, size_t capacity, int leftMargin, int firstLine) {
    PaintContext paint(window);
    vossel::MarkedTextLayout layout(text, strnlen(text, capacity));
    vossel::MarkedRun run;
    int y = firstLine;
    while (layout.Next(&run)) {
        if (run.length > 0) {
            const int x = leftMargin + paint.Width(layout.line(), run.prefixLength);
            SetTextColor(paint.dc(), run.colour == vossel::RunColour::kRed ? kRed : kBlack);
            TextOutA(paint.dc(), x, y, run.text, int(run.length));
        }
        if (run.endsLine) y += paint.LineHeight(layout.line(), run.prefixLength + run.length);
    }
}

CMSG::CMSG() : CDialog(IDD_CMSG) {}

std::string CMSG::ScriptCaption() const { return BufferText(MessageTitle, sizeof MessageTitle); }

std::string CMSG::ScriptText() const { return BufferText(MessageText, sizeof MessageText); }

void CMSG::OnPaint() {
    // The caller's title replaces the template's "WARNING" at every paint.
    char title[sizeof MessageTitle];
    lstrcpynA(title, MessageTitle, sizeof title);
    SetWindowTextA(m_hWnd, title);
    PaintMarkedText(m_hWnd, MessageText, sizeof MessageText, kMessageLeftMargin, kFirstLineY);
}

CMSG2::CMSG2() : CDialog(IDD_CMSG2) {}

std::string CMSG2::ScriptCaption() const { return "Message"; }

std::string CMSG2::ScriptText() const { return BufferText(ConfirmText, sizeof ConfirmText); }

void CMSG2::OnPaint() { PaintMarkedText(m_hWnd, ConfirmText, sizeof ConfirmText, kConfirmLeftMargin, kFirstLineY); }

CMSG1::CMSG1() : CDialog(IDD_CMSG1) {}

std::string CMSG1::ScriptCaption() const { return "Message"; }

std::string CMSG1::ScriptText() const { return kRestartText; }

void CMSG1::OnPaint() {
    PaintContext paint(m_hWnd);
    SetTextColor(paint.dc(), kBlack);
    int y = kFirstLineY;
    const char* line = kRestartText;
    while (*line != '\0') {
        const char* end = std::strchr(line, '\n');
        const size_t length = end != nullptr ? size_t(end - line) : std::strlen(line);
        TextOutA(paint.dc(), kRestartLeftMargin, y, line, int(length));
        y += paint.LineHeight(line, length);
        line += length;
        if (*line == '\n') ++line;
    }
}
