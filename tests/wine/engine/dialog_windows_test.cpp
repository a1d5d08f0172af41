// The engine's own dialogs as real windows: each is run on a thread of its
// own while the robot reads it, looks at the painted text on the screen and
// presses a button. Screenshots land beside the other tests' ones.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "message_dialogs.h"
#include "png_writer.h"
#include "screen_capture.h"
#include "window_robot.h"

namespace {

constexpr DWORD kWindowTimeoutMs = 30000;

// A dialog run modally on its own thread.
template <typename Dialog>
class DialogOnThread {
public:
    DialogOnThread() { thread_ = CreateThread(nullptr, 0, &DialogOnThread::Run, this, 0, nullptr); }
    ~DialogOnThread() {
        // A failed test leaves the dialog open: close it so the thread ends.
        while (thread_ != nullptr && WaitForSingleObject(thread_, 100) == WAIT_TIMEOUT) {
            for (HWND window : robot::FindWindows({std::nullopt, std::string(robot::kDialogClass),
                                                   GetCurrentProcessId()})) {
                robot::RequestClose(window);
            }
        }
        if (thread_ != nullptr) CloseHandle(thread_);
    }
    // The dialog's result once it has ended, or -2 when it has not in time.
    INT_PTR Result() { return WaitForSingleObject(thread_, kWindowTimeoutMs) == WAIT_OBJECT_0 ? result_.load() : -2; }

private:
    static DWORD WINAPI Run(void* self) {
        Dialog dialog;
        static_cast<DialogOnThread*>(self)->result_ = dialog.DoModal();
        return 0;
    }
    HANDLE thread_ = nullptr;
    std::atomic<INT_PTR> result_{-1};
};

// The client area of window as the screen shows it, after a fresh paint.
robot::RgbImage ClientPixels(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT client;
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    robot::RgbImage image;
    EXPECT_TRUE(robot::CaptureScreenRect(client, &image));
    return image;
}

struct Ink {
    size_t red = 0;
    size_t black = 0;
};

// Red and black pixels of the band of rows [top, bottom) from column left on.
Ink InkIn(const robot::RgbImage& image, unsigned left, unsigned top, unsigned bottom) {
    Ink ink;
    for (unsigned y = top; y < bottom && y < image.height; ++y) {
        for (unsigned x = left; x < image.width; ++x) {
            const uint8_t* p = image.Pixel(x, y);
            if (p[0] > 200 && p[1] < 60 && p[2] < 60) ++ink.red;
            if (p[0] < 60 && p[1] < 60 && p[2] < 60) ++ink.black;
        }
    }
    return ink;
}

// The client size a template of width x height dialog units gets.
SIZE TemplateSize(HWND dialog, int width, int height) {
    RECT rect = {0, 0, width, height};
    MapDialogRect(dialog, &rect);
    return SIZE{rect.right, rect.bottom};
}

SIZE ClientSize(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    return SIZE{client.right, client.bottom};
}

HWND WaitForDialog(const std::string& caption) {
    return robot::WaitForWindow({caption, std::string(robot::kDialogClass), GetCurrentProcessId()},
                                kWindowTimeoutMs);
}

// Height of one line of the system font, as the painters measure it.
int SystemLineHeight() {
    HDC dc = GetDC(nullptr);
    TEXTMETRICA metrics = {};
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    GetTextMetricsA(dc, &metrics);
    ReleaseDC(nullptr, dc);
    return metrics.tmHeight;
}

TEST(EngineDialogs, MessageDialogPaintsTheMarkedPassagesRedUnderTheCallersTitle) {
    lstrcpynA(MessageTitle, "Warning", sizeof MessageTitle);
    lstrcpynA(MessageText, "#Do not switch off# the PC\nwhile the BIOS is written.\n#Keep it plugged in",
              sizeof MessageText);
    DialogOnThread<CMSG> run;
    HWND dialog = WaitForDialog("Warning");
    ASSERT_NE(dialog, nullptr);
    robot::WindowInfo info;
    ASSERT_TRUE(robot::ReadWindow(dialog, &info));
    EXPECT_EQ(info.ButtonTexts(), std::vector<std::string>{"OK"});
    EXPECT_EQ(info.owner, nullptr);
    const SIZE expected = TemplateSize(dialog, 208, 94);
    const SIZE client = ClientSize(dialog);
    EXPECT_EQ(client.cx, expected.cx);
    EXPECT_EQ(client.cy, expected.cy);

    const robot::RgbImage pixels = ClientPixels(dialog);
    const unsigned line = unsigned(SystemLineHeight());
    const Ink first = InkIn(pixels, 24, 20, 20 + line);
    const Ink second = InkIn(pixels, 24, 20 + line, 20 + 2 * line);
    const Ink third = InkIn(pixels, 24, 20 + 2 * line, 20 + 3 * line);
    EXPECT_GT(first.red, 50u) << "the marked start of the first line";
    EXPECT_GT(first.black, 50u) << "the rest of the first line";
    EXPECT_EQ(second.red, 0u);
    EXPECT_GT(second.black, 50u);
    EXPECT_GT(third.red, 50u) << "an unclosed mark runs red to the end";
    EXPECT_EQ(third.black, 0u);
    EXPECT_EQ(InkIn(pixels, 0, 0, 20).black + InkIn(pixels, 0, 0, 20).red, 0u) << "nothing above the first line";
    EXPECT_TRUE(robot::SaveScreenshot(dialog, robot::ScreenshotPath("dialog_cmsg_warning.png")));

    ASSERT_TRUE(robot::PressButton(dialog, "OK"));
    EXPECT_EQ(run.Result(), IDOK);
}

TEST(EngineDialogs, ConfirmationAndRestartDialogsHaveTheirSizesButtonsAndDefaults) {
    lstrcpynA(ConfirmText, kUpdateConfirmText, sizeof ConfirmText);
    {
        SCOPED_TRACE("CMSG2");
        DialogOnThread<CMSG2> run;
        HWND dialog = WaitForDialog("Message");
        ASSERT_NE(dialog, nullptr);
        robot::WindowInfo info;
        ASSERT_TRUE(robot::ReadWindow(dialog, &info));
        EXPECT_EQ(info.ButtonTexts(), (std::vector<std::string>{"OK", "Cancel"}));
        EXPECT_EQ(ClientSize(dialog).cx, TemplateSize(dialog, 158, 78).cx);
        EXPECT_EQ(ClientSize(dialog).cy, TemplateSize(dialog, 158, 78).cy);
        EXPECT_EQ(SendMessageA(dialog, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
        const robot::RgbImage pixels = ClientPixels(dialog);
        const unsigned line = unsigned(SystemLineHeight());
        EXPECT_GT(InkIn(pixels, 34, 20, 20 + 2 * line).red, 100u) << "two red lines";
        EXPECT_EQ(InkIn(pixels, 34, 20, 20 + 2 * line).black, 0u);
        EXPECT_GT(InkIn(pixels, 34, 20 + 2 * line, 20 + 3 * line).black, 50u) << "the black question";
        EXPECT_TRUE(robot::SaveScreenshot(dialog, robot::ScreenshotPath("dialog_cmsg2_confirm.png")));
        ASSERT_TRUE(robot::PressButton(dialog, "Cancel"));
        EXPECT_EQ(run.Result(), IDCANCEL);
    }
    {
        SCOPED_TRACE("CMSG1");
        DialogOnThread<CMSG1> run;
        HWND dialog = WaitForDialog("Message");
        ASSERT_NE(dialog, nullptr);
        robot::WindowInfo info;
        ASSERT_TRUE(robot::ReadWindow(dialog, &info));
        EXPECT_EQ(info.ButtonTexts(), (std::vector<std::string>{"Restart Now", "Restart Later"}));
        EXPECT_EQ(ClientSize(dialog).cx, TemplateSize(dialog, 156, 76).cx);
        EXPECT_EQ(ClientSize(dialog).cy, TemplateSize(dialog, 156, 76).cy);
        // Enter means "Restart Now"; Escape means later.
        EXPECT_EQ(SendMessageA(dialog, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
        const robot::RgbImage pixels = ClientPixels(dialog);
        const unsigned line = unsigned(SystemLineHeight());
        EXPECT_GT(InkIn(pixels, 20, 20, 20 + 4 * line).black, 200u) << "four black lines";
        EXPECT_EQ(InkIn(pixels, 0, 0, unsigned(pixels.height)).red, 0u);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);  // Escape
        EXPECT_EQ(run.Result(), IDCANCEL);
    }
}

}  // namespace
