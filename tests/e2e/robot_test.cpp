// The window robot against message boxes of this very program: what it reads
// must be exactly what the box shows, a button it presses must be the answer
// MessageBoxA returns, and its screenshots must show the screen as it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "box_watcher.h"
#include "e2e_support.h"
#include "screen_capture.h"
#include "window_robot.h"

namespace {

constexpr DWORD kBoxTimeoutMs = 15000;

robot::WindowQuery OwnBox(const std::string& caption) {
    robot::WindowQuery query;
    query.caption = caption;
    query.class_name = robot::kDialogClass;
    query.process_id = GetCurrentProcessId();
    return query;
}

// Width and height from a PNG file's header; false if it does not start as a PNG.
bool ReadPngSize(const std::string& path, unsigned* width, unsigned* height) {
    std::ifstream file(path, std::ios::binary);
    unsigned char head[24];
    if (!file.read(reinterpret_cast<char*>(head), sizeof head)) return false;
    static const unsigned char kStart[16] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    if (!std::equal(kStart, kStart + 16, head)) return false;
    *width = unsigned(head[16]) << 24 | unsigned(head[17]) << 16 | unsigned(head[18]) << 8 | head[19];
    *height = unsigned(head[20]) << 24 | unsigned(head[21]) << 16 | unsigned(head[22]) << 8 | head[23];
    return true;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// How the robot answers a box, and what MessageBoxA must then return.
enum class Answer { kPress, kClose };

struct BoxCase {
    const char* name;
    UINT type;
    const char* caption;
    const char* text;
    std::vector<std::string> buttons;  // as the box shows them, in child order
    Answer answer;
    const char* button;                // pressed for kPress
    int result;
};

// Buttons come in child order, which for a message box is the order on screen.
const BoxCase kBoxCases[] = {
    {"ok", MB_OK, "Robot check ", "One line only !", {"OK"}, Answer::kPress, "OK", IDOK},
    {"yes_no_cancel", MB_YESNOCANCEL | MB_ICONQUESTION, "Robot check ", "First line \nsecond line ",
     {"&Yes", "&No", "Cancel"}, Answer::kPress, "No", IDNO},
    {"ok_cancel_closed", MB_OKCANCEL, "Robot\tcheck", "Close me ?", {"OK", "Cancel"}, Answer::kClose, nullptr, IDCANCEL},
};

class RobotReadsBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(RobotReadsBox, ReadsExactlyAndAnswers) {
    const BoxCase& c = GetParam();
    e2e::BoxOnThread box(c.text, c.caption, c.type);
    ASSERT_TRUE(box.started());

    HWND window = robot::WaitForWindow(OwnBox(c.caption), kBoxTimeoutMs);
    ASSERT_NE(window, nullptr) << "no box \"" << robot::Escape(c.caption) << "\" appeared";
    robot::WindowInfo info;
    ASSERT_TRUE(robot::ReadWindow(window, &info));
    EXPECT_EQ(info.caption, c.caption);
    EXPECT_EQ(info.class_name, robot::kDialogClass);
    EXPECT_EQ(info.owner, nullptr);
    EXPECT_EQ(info.process_id, GetCurrentProcessId());
    EXPECT_TRUE(info.style & WS_POPUP);
    EXPECT_EQ(info.StaticTexts(), std::vector<std::string>{c.text});
    EXPECT_EQ(info.ButtonTexts(), c.buttons);

    const std::string shot = robot::ScreenshotPath(std::string("robot_box_") + c.name + ".png");
    DeleteFileA(shot.c_str());
    ASSERT_TRUE(robot::SaveScreenshot(window, shot));
    unsigned width = 0, height = 0;
    ASSERT_TRUE(ReadPngSize(shot, &width, &height));
    EXPECT_EQ(width, unsigned(info.rect.right - info.rect.left));
    EXPECT_EQ(height, unsigned(info.rect.bottom - info.rect.top));

    if (c.answer == Answer::kPress) {
        EXPECT_FALSE(robot::PressButton(window, "No such button"));
        ASSERT_TRUE(robot::PressButton(window, c.button));
    } else {
        ASSERT_TRUE(robot::RequestClose(window));
    }
    EXPECT_EQ(box.Result(kBoxTimeoutMs), c.result);
}

INSTANTIATE_TEST_SUITE_P(Boxes, RobotReadsBox, ::testing::ValuesIn(kBoxCases),
                         [](const ::testing::TestParamInfo<BoxCase>& info) { return std::string(info.param.name); });

// A borderless topmost window painted in four coloured quadrants, so a capture
// that swaps colour channels, flips rows or shifts the rectangle shows.
class QuadrantWindow {
public:
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 48;
    static constexpr COLORREF kColours[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};

    QuadrantWindow() {
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = Procedure;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = kClassName;
        RegisterClassA(&window_class);
        window_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, "Quadrants", WS_POPUP, 200, 150, kWidth,
                                  kHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (window_ != nullptr) {
            ShowWindow(window_, SW_SHOWNOACTIVATE);
            UpdateWindow(window_);
        }
    }
    ~QuadrantWindow() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    QuadrantWindow(const QuadrantWindow&) = delete;
    QuadrantWindow& operator=(const QuadrantWindow&) = delete;

    HWND hwnd() const { return window_; }

    // The colour of quadrant 0 (top left), 1 (top right), 2 (bottom left), 3 (bottom right).
    static int QuadrantAt(int x, int y) { return (y >= kHeight / 2 ? 2 : 0) + (x >= kWidth / 2 ? 1 : 0); }

private:
    static constexpr char kClassName[] = "RobotQuadrants";

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message != WM_PAINT) return DefWindowProcA(window, message, wparam, lparam);
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            const int left = quadrant % 2 * kWidth / 2;
            const int top = quadrant / 2 * kHeight / 2;
            const RECT rect = {left, top, left + kWidth / 2, top + kHeight / 2};
            HBRUSH brush = CreateSolidBrush(kColours[quadrant]);
            FillRect(dc, &rect, brush);
            DeleteObject(brush);
        }
        EndPaint(window, &paint);
        return 0;
    }

    HWND window_ = nullptr;
};

TEST(RobotScreenshot, ShowsTheWindowAsPainted) {
    const std::string shot = robot::ScreenshotPath("robot_quadrants.png");
    DeleteFileA(shot.c_str());
    QuadrantWindow window;
    ASSERT_NE(window.hwnd(), nullptr);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);

    robot::RgbImage image;
    ASSERT_TRUE(robot::CaptureWindow(window.hwnd(), &image));
    ASSERT_EQ(image.width, unsigned(QuadrantWindow::kWidth));
    ASSERT_EQ(image.height, unsigned(QuadrantWindow::kHeight));
    int wrong = 0;
    for (int y = 0; y < QuadrantWindow::kHeight; ++y) {
        for (int x = 0; x < QuadrantWindow::kWidth; ++x) {
            const COLORREF colour = QuadrantWindow::kColours[QuadrantWindow::QuadrantAt(x, y)];
            const uint8_t* pixel = image.Pixel(unsigned(x), unsigned(y));
            if (pixel[0] != GetRValue(colour) || pixel[1] != GetGValue(colour) || pixel[2] != GetBValue(colour)) {
                if (wrong++ < 5) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << int(pixel[0]) << "," << int(pixel[1])
                                  << "," << int(pixel[2]);
                }
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(robot::WritePngFile(image, shot));
}

TEST(RobotCommandLine, ReadsAndPressesABoxOfAnotherProcess) {
    const std::string caption = "Robot command line ";
    const std::string text = "First line \nsecond \"line\" \\ ";
    e2e::BoxOnThread box(text, caption, MB_YESNO);
    ASSERT_TRUE(box.started());
    HWND shown = robot::WaitForWindow(OwnBox(caption), kBoxTimeoutMs);
    ASSERT_NE(shown, nullptr);

    const std::string robot_exe = "\"" + e2e::ProgramDir() + "robot.exe\"";
    const std::string window = " --caption \"" + caption + "\" --pid " + std::to_string(GetCurrentProcessId());
    const e2e::ProgramRun read = e2e::RunProgram(robot_exe + " read" + window, 60000);
    ASSERT_TRUE(read.finished);
    EXPECT_EQ(read.exit_code, 0u);
    const std::vector<std::string> lines = Lines(read.output);
    auto has = [&lines](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("caption=Robot command line ")) << read.output;
    EXPECT_TRUE(has("class=#32770")) << read.output;
    EXPECT_TRUE(has("static=First line \\nsecond \"line\" \\\\ ")) << read.output;
    EXPECT_TRUE(has("button=&Yes")) << read.output;
    EXPECT_TRUE(has("button=&No")) << read.output;

    const std::string shot = robot::ScreenshotPath("robot_command_line_box.png");
    DeleteFileA(shot.c_str());
    const e2e::ProgramRun photo = e2e::RunProgram(robot_exe + " shot" + window + " --out \"" + shot + "\"", 60000);
    ASSERT_TRUE(photo.finished);
    EXPECT_EQ(photo.exit_code, 0u);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(shown, &rect));
    unsigned width = 0, height = 0;
    ASSERT_TRUE(ReadPngSize(shot, &width, &height));
    EXPECT_EQ(width, unsigned(rect.right - rect.left));
    EXPECT_EQ(height, unsigned(rect.bottom - rect.top));

    const e2e::ProgramRun missing = e2e::RunProgram(robot_exe + " read --caption \"No such window\" --timeout 100", 60000);
    ASSERT_TRUE(missing.finished);
    EXPECT_EQ(missing.exit_code, 1u);

    const e2e::ProgramRun press = e2e::RunProgram(robot_exe + " press" + window + " --button \"&No\"", 60000);
    ASSERT_TRUE(press.finished);
    EXPECT_EQ(press.exit_code, 0u);
    EXPECT_EQ(box.Result(kBoxTimeoutMs), IDNO);
}

TEST(BoxWatcher, AnswersABoxShownOnTheWatchedThread) {
    const std::string shot = robot::ScreenshotPath("robot_watched_box.png");
    DeleteFileA(shot.c_str());
    robot::BoxWatcher watcher({"Watched ", "Cancel", shot, 20000});
    ASSERT_TRUE(watcher.Start());

    EXPECT_EQ(MessageBoxA(nullptr, "Answer me ?", "Watched ", MB_OKCANCEL), IDCANCEL);
    watcher.Stop();

    ASSERT_EQ(watcher.boxes().size(), 1u);
    const robot::SeenBox& seen = watcher.boxes()[0];
    EXPECT_TRUE(seen.expected);
    EXPECT_TRUE(seen.answered);
    EXPECT_EQ(seen.info.caption, "Watched ");
    EXPECT_EQ(seen.info.StaticTexts(), std::vector<std::string>{"Answer me ?"});
    EXPECT_EQ(seen.info.ButtonTexts(), (std::vector<std::string>{"OK", "Cancel"}));
    EXPECT_EQ(seen.info.owner, nullptr);
    EXPECT_TRUE(watcher.screenshot_saved());
    unsigned width = 0, height = 0;
    ASSERT_TRUE(ReadPngSize(shot, &width, &height));
    EXPECT_EQ(width, unsigned(seen.info.rect.right - seen.info.rect.left));
    EXPECT_FALSE(watcher.deadline_reached());
}

TEST(BoxWatcher, AnswersAStrayBoxAtItsDeadlineAndReportsIt) {
    robot::BoxWatcher watcher({"Expected caption", "OK", "", 3000});
    ASSERT_TRUE(watcher.Start());

    EXPECT_EQ(MessageBoxA(nullptr, "Nobody expects me", "Stray", MB_YESNO), IDYES);
    watcher.Stop();

    EXPECT_TRUE(watcher.deadline_reached());
    ASSERT_EQ(watcher.boxes().size(), 1u);
    EXPECT_FALSE(watcher.boxes()[0].expected);
    EXPECT_TRUE(watcher.boxes()[0].answered);
    EXPECT_EQ(watcher.boxes()[0].info.caption, "Stray");
    EXPECT_TRUE(watcher.ExpectedBoxes().empty());
    EXPECT_FALSE(watcher.screenshot_saved());
}

}  // namespace
