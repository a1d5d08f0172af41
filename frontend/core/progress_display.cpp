#include "progress_display.h"

#include <cstdio>

#include "records.h"

namespace vossel {

namespace {

constexpr int32_t kStatusTextX = 127;
constexpr int32_t kDownloadingX = 110;
constexpr char kStatusTextBlank[] = "                  ";  // 18 blanks
constexpr char kIdleBlank[] = "                ";         // 16 blanks

struct StatusText {
    ProgressStatusCode code;
    const char* text;
};

// The codes whose text replaces a blanked status line at kStatusTextX.
constexpr StatusText kStatusTexts[] = {
    {kStatusSaving, " Saving ..."},  {kStatusReading, "Reading ..."},     {kStatusWriting, "Writing ..."},
    {kStatusErasing, "Erasing ..."}, {kStatusVerifying, "Verifying ..."},
};

}  // namespace

int ProgressFrame(int32_t percentage) {
    const int32_t frame = percentage / 2;
    if (frame < 0) {
        return 0;
    }
    return frame > kLastProgressFrame ? kLastProgressFrame : static_cast<int>(frame);
}

int ProgressFrameResource(int32_t percentage) { return kFirstProgressFrameResource + ProgressFrame(percentage); }

int32_t PaintedPercentage(int32_t statusCode, int32_t percentage) {
    return statusCode != kStatusNone ? percentage : 100;
}

std::string PercentageText(int32_t percentage) {
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", static_cast<int>(percentage));
    return text;
}

size_t PanelTextDrawnLength(const char* text) {
    size_t length = 0;
    while (length < kPanelTextMaxCharacters && text[length] != '\0') {
        ++length;
    }
    return length;
}

StatusLineDraws StatusLine(int32_t statusCode) {
    if (statusCode == kStatusDownloading) {
        return {{{"Downloading ...", kDownloadingX, kStatusLineY}}, 1};
    }
    for (const StatusText& status : kStatusTexts) {
        if (status.code == statusCode) {
            return {{{kStatusTextBlank, kStatusTextX, kStatusLineY}, {status.text, kStatusTextX, kStatusLineY}}, 2};
        }
    }
    return {{{kIdleBlank, kDownloadingX, kStatusLineY}, {kIdleBlank, 136, kStatusLineY}}, 2};
}

}  // namespace vossel
