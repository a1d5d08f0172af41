// Kestrom.exe started as a user starts it: from a folder that holds it, the
// engine, the simulated driver and the driver's board file. The robot answers
// the program's boxes from outside its process, reads its window from the
// screen and clicks its skin. One Kestrom runs per Windows session, so each
// test ends every program it started before it returns, however it ends.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "held_engine.h"
#include "png_writer.h"
#include "screen_capture.h"
#include "window_robot.h"

namespace {

constexpr char kProgramFile[] = "Kestrom.exe";
constexpr char kEngineFile[] = "Vossel.dll";
constexpr char kDriverFile[] = "flash.dll";
constexpr char kBoardFile[] = "flashsim.ini";
constexpr char kJournalFile[] = "flashsim.log";
constexpr char kPartialEngineFile[] = "e2e_partial_vossel.dll";  // lacks FlashBIOS
constexpr char kHeldEngineFile[] = "e2e_held_vossel.dll";        // FlashBIOS held by the test
constexpr char kSleeperFile[] = "e2e_sleeper.exe";

constexpr DWORD kWindowTimeoutMs = 30000;
constexpr DWORD kExitTimeoutMs = 30000;
constexpr DWORD kPaintTimeoutMs = 10000;
constexpr DWORD kPollMs = 20;

constexpr char kMainCaption[] = "Zorvik";
constexpr char kConsentText[] =
    "Zorvik will automatically terminate some programs, (such as Tunevox, etc..)\nDo you want to continue ?";

// The board: an 8 Mbit Award board whose sign-on is longer than the panel
// shows, with a visible character right after the cut.
constexpr char kFlashType[] = "SST 49LF008A (e2e board)";
constexpr char kSignOn[] = "NORVANE 6A69VN01 Award BIOS v6.00PG-F5/E2E board";
constexpr size_t kPanelChars = 35;
// The panel's fields end before this column; their lines are clipped there.
constexpr unsigned kPanelFieldRight = 345;
static_assert(sizeof kSignOn - 1 > kPanelChars, "the sign-on is cut");

// The panel's fields are 14 pixels high; a line is drawn opaque, its text
// cell filled with the field's colour.
constexpr int kFieldHeight = 14;
constexpr COLORREF kPanelBackground = RGB(0, 14, 76);
constexpr COLORREF kPanelText = RGB(255, 255, 0);

// The skin's magenta lies outside the window's shape.
constexpr POINT kOutsideShape[] = {{5, 5}, {575, 5}, {5, 245}, {575, 245}};
constexpr POINT kInsideShape[] = {{300, 130}, {40, 150}};
constexpr POINT kExitButton = {519, 44};
constexpr POINT kUpdateFromFileButton = {452, 110};
constexpr RECT kUpdateFromFileRect = {362, 98, 543, 122};

constexpr char kCloseWhileBusyText[] =
    "A BIOS update or save is running.\nPlease wait until it has ended before you close Zorvik.";

// A started program. The destructor ends it if it still runs, so that a
// failed test leaves neither a process nor one of its boxes behind.
class Process {
public:
    Process() = default;
    ~Process() { End(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Start(const std::string& path) {
        std::string line = "\"" + path + "\"";
        std::vector<char> command(line.begin(), line.end());
        command.push_back('\0');
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info)) {
            return false;
        }
        CloseHandle(info.hThread);
        handle_.reset(info.hProcess);
        id_ = info.dwProcessId;
        return true;
    }
    DWORD id() const { return id_; }
    bool Running() const { return handle_ && WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT; }
    // The exit code once it has ended; nothing if it still runs at the timeout.
    std::optional<DWORD> WaitExit(DWORD timeout_ms) const {
        if (!handle_ || WaitForSingleObject(handle_.get(), timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(handle_.get(), &code);
        return code;
    }
    void End() {
        if (!Running()) return;
        TerminateProcess(handle_.get(), 99);
        WaitForSingleObject(handle_.get(), kExitTimeoutMs);
    }

private:
    e2e::UniqueHandle handle_;
    DWORD id_ = 0;
};

// The windows of a process, one a line, for failure messages.
std::string WindowsOf(const Process& process) {
    robot::WindowQuery query;
    query.process_id = process.id();
    query.visible_only = false;
    std::string text;
    for (HWND window : robot::FindWindows(query)) {
        text += "\n  \"" + robot::Escape(robot::ReadText(window)) + "\" (" + robot::ReadClassName(window) +
                (IsWindowVisible(window) ? ", visible)" : ", hidden)");
    }
    return text.empty() ? " none" : text;
}

enum class EngineCopy { kBuilt, kMissing, kLackingFlashBios, kHeldFlashBios };

std::string CopyBuilt(const char* name, const std::string& to) {
    const std::string from = e2e::ProgramDir() + name;
    if (!e2e::FileExists(from)) return std::string(name) + " is not built";
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) return "cannot copy " + std::string(name) + " to " + to;
    return {};
}

// A folder laid out as Kestrom is installed; problem is empty when it is.
struct ProgramFolder {
    explicit ProgramFolder(EngineCopy engine = EngineCopy::kBuilt, bool driver = true) {
        problem = LayOut(engine, driver);
    }
    std::string program() const { return scratch.File(kProgramFile); }
    std::string journal() const { return scratch.File(kJournalFile); }

    e2e::ScratchDir scratch;
    std::string problem;

private:
    std::string LayOut(EngineCopy engine, bool driver) {
        if (!scratch.ok()) return "no scratch folder";
        std::string problem = CopyBuilt(kProgramFile, program());
        if (problem.empty() && engine == EngineCopy::kBuilt) problem = CopyBuilt(kEngineFile, scratch.File(kEngineFile));
        if (problem.empty() && engine == EngineCopy::kLackingFlashBios) {
            problem = CopyBuilt(kPartialEngineFile, scratch.File(kEngineFile));
        }
        if (problem.empty() && engine == EngineCopy::kHeldFlashBios) {
            problem = CopyBuilt(kHeldEngineFile, scratch.File(kEngineFile));
        }
        if (problem.empty() && driver) problem = CopyBuilt(kDriverFile, scratch.File(kDriverFile));
        if (!problem.empty()) return problem;
        std::ofstream board(scratch.File(kBoardFile), std::ios::binary);
        board << "[Flash]\r\nFlashSize=0x100000\r\nFlashType=" << kFlashType << "\r\n"
              << "[Bios]\r\nBiosType=1\r\nSignOnMessage=" << kSignOn << "\r\n";
        return board.good() ? std::string() : "cannot write the board file";
    }
};

enum class Owner { kNone, kMainWindow };

// A box the program shows, and the button the robot answers it with.
struct Box {
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;
    std::string answer;
    Owner owner;
};

Box Consent(const char* answer) { return {"Message", kConsentText, {"OK", "Cancel"}, answer, Owner::kMainWindow}; }

// Waits for the box in process, checks what it says and answers it.
void AnswerBox(const Process& process, const Box& box) {
    robot::WindowQuery query;
    query.caption = box.caption;
    query.class_name = robot::kDialogClass;
    query.process_id = process.id();
    HWND window = robot::WaitForWindow(query, kWindowTimeoutMs);
    ASSERT_NE(window, nullptr) << "no box \"" << box.caption << "\" saying \"" << robot::Escape(box.text)
                               << "\"; windows of the program:" << WindowsOf(process);
    robot::WindowInfo info;
    ASSERT_TRUE(robot::ReadWindow(window, &info));
    EXPECT_EQ(info.StaticTexts(), std::vector<std::string>{box.text})
        << "box \"" << box.caption << "\" says \""
        << robot::Escape(info.StaticTexts().empty() ? std::string() : info.StaticTexts()[0]) << "\"";
    EXPECT_EQ(info.ButtonTexts(), box.buttons) << "box \"" << box.caption << "\"";
    if (box.owner == Owner::kNone) {
        EXPECT_EQ(info.owner, nullptr) << "box \"" << box.caption << "\" is owned by \""
                                       << robot::ReadText(info.owner) << "\"";
    } else {
        ASSERT_NE(info.owner, nullptr) << "box \"" << box.caption << "\" has no owner";
        DWORD owner_process = 0;
        GetWindowThreadProcessId(info.owner, &owner_process);
        EXPECT_EQ(owner_process, process.id());
        EXPECT_EQ(robot::ReadText(info.owner), kMainCaption);
    }
    ASSERT_TRUE(robot::PressButton(window, box.answer)) << "box \"" << box.caption << "\" has no " << box.answer;
}

void ExpectExit(const Process& process, DWORD expected) {
    const std::optional<DWORD> code = process.WaitExit(kExitTimeoutMs);
    ASSERT_TRUE(code.has_value()) << "the program still runs; its windows:" << WindowsOf(process);
    EXPECT_EQ(*code, expected);
}

HWND WaitForMainWindow(const Process& process) {
    robot::WindowQuery query;
    query.caption = kMainCaption;
    query.class_name = robot::kDialogClass;
    query.process_id = process.id();
    return robot::WaitForWindow(query, kWindowTimeoutMs);
}

// Starts the program and consents; the main window, once it shows.
void StartToMainWindow(const ProgramFolder& folder, Process& kestrom, HWND* main) {
    ASSERT_TRUE(kestrom.Start(folder.program())) << folder.program();
    ASSERT_NO_FATAL_FAILURE(AnswerBox(kestrom, Consent("OK")));
    *main = WaitForMainWindow(kestrom);
    ASSERT_NE(*main, nullptr) << "no main window; windows of the program:" << WindowsOf(kestrom);
}

// A start that gets as far as the consent, refused: the program ends.
void StartAndRefuseConsent(const ProgramFolder& folder) {
    Process kestrom;
    ASSERT_TRUE(kestrom.Start(folder.program())) << folder.program();
    ASSERT_NO_FATAL_FAILURE(AnswerBox(kestrom, Consent("Cancel")));
    // The dialog ends before it shows; a start the user refused is no
    // success: exit code 1.
    ASSERT_NO_FATAL_FAILURE(ExpectExit(kestrom, 1));
}

void CloseWithExit(const Process& kestrom, HWND main) {
    ASSERT_TRUE(robot::ClickAt(main, kExitButton.x, kExitButton.y));
    ASSERT_NO_FATAL_FAILURE(ExpectExit(kestrom, 0));
}

// A copy of the sleeper under a name another program runs with, started.
void StartSleeper(const e2e::ScratchDir& folder, const std::string& name, Process& sleeper) {
    ASSERT_TRUE(folder.ok());
    ASSERT_EQ(CopyBuilt(kSleeperFile, folder.File(name)), "");
    ASSERT_TRUE(sleeper.Start(folder.File(name))) << folder.File(name);
}

bool CaptureClient(HWND window, robot::RgbImage* image) {
    RECT client;
    if (!GetClientRect(window, &client)) return false;
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return robot::CaptureScreenRect(client, image);
}

POINT ToScreen(HWND window, POINT point) {
    ClientToScreen(window, &point);
    return point;
}

bool SameColour(const uint8_t* a, const uint8_t* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }

std::string ColourText(const uint8_t* pixel) {
    char text[32];
    std::snprintf(text, sizeof text, "(%u,%u,%u)", pixel[0], pixel[1], pixel[2]);
    return text;
}

// One line of the information panel, at its client position.
struct PanelLine {
    const char* field;
    int x;
    int y;
    std::string text;
};

// The first chars characters of text drawn in this process as the panel draws
// a line: the same font and colours, the text cell filled opaque.
robot::RgbImage RenderPanelLine(const std::string& text, size_t chars = kPanelChars) {
    const std::string drawn = text.substr(0, chars);
    robot::RgbImage image;
    HDC screen = GetDC(nullptr);
    LOGFONTA description = {};
    description.lfHeight = -MulDiv(80, GetDeviceCaps(screen, LOGPIXELSY), 720);
    description.lfWeight = 40;
    lstrcpynA(description.lfFaceName, "Arial New", sizeof description.lfFaceName);
    HFONT font = CreateFontIndirectA(&description);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old_font = SelectObject(memory, font);
    SIZE extent = {};
    GetTextExtentPoint32A(memory, drawn.c_str(), int(drawn.size()), &extent);
    const int width = extent.cx;
    const int height = extent.cy < kFieldHeight - 1 ? extent.cy : kFieldHeight - 1;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP canvas = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (canvas != nullptr && bits != nullptr) {
        HGDIOBJ old_bitmap = SelectObject(memory, canvas);
        HBRUSH background = CreateSolidBrush(kPanelBackground);
        RECT all = {0, 0, width, height};
        FillRect(memory, &all, background);
        DeleteObject(background);
        SetTextColor(memory, kPanelText);
        SetBkColor(memory, kPanelBackground);
        TextOutA(memory, 0, 0, drawn.c_str(), int(drawn.size()));
        GdiFlush();
        image.width = unsigned(width);
        image.height = unsigned(height);
        image.rgb.resize(size_t(width) * height * 3);
        const uint8_t* from = static_cast<const uint8_t*>(bits);
        for (size_t i = 0; i < size_t(width) * height; ++i, from += 4) {
            image.rgb[i * 3] = from[2];
            image.rgb[i * 3 + 1] = from[1];
            image.rgb[i * 3 + 2] = from[0];
        }
        SelectObject(memory, old_bitmap);
        DeleteObject(canvas);
    }
    SelectObject(memory, old_font);
    DeleteObject(font);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

// Pixels of the rendered line that the client area shows otherwise, the line
// placed at its field position.
size_t Differences(const robot::RgbImage& rendered, const robot::RgbImage& client, const PanelLine& line) {
    size_t differences = 0;
    for (unsigned y = 0; y < rendered.height; ++y) {
        for (unsigned x = 0; x < rendered.width; ++x) {
            const unsigned cx = unsigned(line.x) + x;
            const unsigned cy = unsigned(line.y) + y;
            if (cx >= kPanelFieldRight) continue;  // the field clips its line there
            if (cx >= client.width || cy >= client.height || !SameColour(rendered.Pixel(x, y), client.Pixel(cx, cy))) {
                ++differences;
            }
        }
    }
    return differences;
}

// Normal start: the consent, then the skinned window with the board's panel,
// cut to the skin's shape; EXIT ends the program with 0.
TEST(KestromStartup, ShowsTheBoardInTheShapedWindow) {
    ProgramFolder folder;
    ASSERT_EQ(folder.problem, "");
    robot::RgbImage desktop;
    ASSERT_TRUE(robot::CaptureScreen(&desktop));
    Process kestrom;
    HWND main = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartToMainWindow(folder, kestrom, &main));

    const PanelLine lines[] = {
        {"flash type", 156, 83, kFlashType},
        {"flash size", 156, 102, "8M bits"},
        {"sign-on", 156, 121, kSignOn},
        {"BIOS vendor", 156, 138, "AWARD BIOS"},
    };
    std::vector<robot::RgbImage> rendered;
    for (const PanelLine& line : lines) {
        rendered.push_back(RenderPanelLine(line.text));
        ASSERT_GT(rendered.back().width, 0u) << line.field;
    }
    // The window shows before its first paint is done: poll until the panel
    // shows all four lines, or the time is up.
    robot::RgbImage client;
    std::vector<size_t> differences(std::size(lines));
    const ULONGLONG deadline = GetTickCount64() + kPaintTimeoutMs;
    for (;;) {
        ASSERT_TRUE(CaptureClient(main, &client));
        bool all = true;
        for (size_t i = 0; i < std::size(lines); ++i) {
            differences[i] = Differences(rendered[i], client, lines[i]);
            all = all && differences[i] == 0;
        }
        if (all || GetTickCount64() >= deadline) break;
        Sleep(kPollMs);
    }
    for (size_t i = 0; i < std::size(lines); ++i) {
        EXPECT_EQ(differences[i], 0u) << lines[i].field << " \"" << lines[i].text.substr(0, kPanelChars) << "\": "
                                      << differences[i] << " of " << rendered[i].width * rendered[i].height
                                      << " pixels differ";
    }
    // The comparison sees the text: another sign-on does not pass it. (The
    // cut after 35 characters lies beyond the field's edge with this font.)
    std::string other_sign_on = kSignOn;
    other_sign_on[1] = other_sign_on[1] == 'X' ? 'Y' : 'X';
    EXPECT_GT(Differences(RenderPanelLine(other_sign_on), client, lines[2]), 0u);
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_startup.png")));

    // Outside the shape the screen shows what it showed before the program
    // started; inside, the skin.
    std::string outside;
    for (ULONGLONG until = GetTickCount64() + kPaintTimeoutMs;;) {
        robot::RgbImage screen;
        ASSERT_TRUE(robot::CaptureScreen(&screen));
        outside.clear();
        for (const POINT& point : kOutsideShape) {
            const POINT at = ToScreen(main, point);
            ASSERT_TRUE(at.x >= 0 && at.y >= 0 && unsigned(at.x) < screen.width && unsigned(at.y) < screen.height);
            if (!SameColour(screen.Pixel(at.x, at.y), desktop.Pixel(at.x, at.y))) {
                outside += " (" + std::to_string(point.x) + "," + std::to_string(point.y) + ") shows " +
                           ColourText(screen.Pixel(at.x, at.y)) + " over " + ColourText(desktop.Pixel(at.x, at.y));
            }
        }
        if (outside.empty() || GetTickCount64() >= until) {
            for (const POINT& point : kInsideShape) {
                const POINT at = ToScreen(main, point);
                EXPECT_FALSE(SameColour(screen.Pixel(at.x, at.y), desktop.Pixel(at.x, at.y)))
                    << "(" << point.x << "," << point.y << ") shows the desktop";
            }
            for (const POINT& point : kOutsideShape) {
                const POINT at = ToScreen(main, point);
                const uint8_t magenta[3] = {255, 0, 255};
                EXPECT_FALSE(SameColour(screen.Pixel(at.x, at.y), magenta))
                    << "(" << point.x << "," << point.y << ") shows the skin's key colour";
            }
            break;
        }
        Sleep(kPollMs);
    }
    EXPECT_EQ(outside, "") << "outside the shape";

    EXPECT_TRUE(e2e::FileExists(folder.journal())) << "the driver kept no journal";
    ASSERT_NO_FATAL_FAILURE(CloseWithExit(kestrom, main));
}

TEST(KestromStartup, SecondCopyIsRefusedWhileTheFirstRuns) {
    ProgramFolder folder;
    ASSERT_EQ(folder.problem, "");
    Process first;
    HWND main = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartToMainWindow(folder, first, &main));

    Process second;
    ASSERT_TRUE(second.Start(folder.program()));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(second, {"Message", "Application is running !", {"OK"}, "OK", Owner::kNone}));
    ASSERT_NO_FATAL_FAILURE(ExpectExit(second, 1));
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindowVisible(main));

    ASSERT_NO_FATAL_FAILURE(CloseWithExit(first, main));
    // The marker went with the first copy.
    ASSERT_NO_FATAL_FAILURE(StartAndRefuseConsent(folder));
}

// Cancel ends the program before it closes any program or loads the engine
// (the driver keeps its journal from its first call on); consent then does both.
TEST(KestromStartup, RefusedConsentLeavesEverythingAlone) {
    ProgramFolder folder;
    ASSERT_EQ(folder.problem, "");
    e2e::ScratchDir elsewhere;
    Process brumo;
    ASSERT_NO_FATAL_FAILURE(StartSleeper(elsewhere, "brumo.exe", brumo));

    ASSERT_NO_FATAL_FAILURE(StartAndRefuseConsent(folder));
    EXPECT_TRUE(brumo.Running());
    EXPECT_FALSE(e2e::FileExists(folder.journal())) << "the engine was loaded";

    Process kestrom;
    HWND main = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartToMainWindow(folder, kestrom, &main));
    EXPECT_EQ(brumo.WaitExit(kExitTimeoutMs), std::optional<DWORD>(0));
    EXPECT_TRUE(e2e::FileExists(folder.journal()));
    ASSERT_NO_FATAL_FAILURE(CloseWithExit(kestrom, main));
}

// An engine that cannot be used ends the program with 1 after the boxes that
// say why; the main window never shows.
TEST(KestromStartup, UnusableEngineEndsTheProgram) {
    const Box load_library_failed = {"ERROR", "Load library failed !", {"OK"}, "OK", Owner::kMainWindow};
    const struct {
        const char* name;
        EngineCopy engine;
        bool driver;
        std::vector<Box> boxes;
    } cases[] = {
        {"engine missing", EngineCopy::kMissing, true, {load_library_failed}},
        {"driver missing", EngineCopy::kBuilt, false,
         {{"Error", "Load flash.dll failed !", {"OK"}, "OK", Owner::kNone}, load_library_failed}},
        {"engine lacks FlashBIOS", EngineCopy::kLackingFlashBios, true,
         {{"ERROR", "Vossel.dll lacks the function \"FlashBIOS\" !\nZorvik cannot run with it.", {"OK"}, "OK",
           Owner::kMainWindow}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramFolder folder(c.engine, c.driver);
        ASSERT_EQ(folder.problem, "");
        Process kestrom;
        ASSERT_TRUE(kestrom.Start(folder.program()));
        ASSERT_NO_FATAL_FAILURE(AnswerBox(kestrom, Consent("OK")));
        for (const Box& box : c.boxes) {
            ASSERT_NO_FATAL_FAILURE(AnswerBox(kestrom, box));
        }
        ASSERT_NO_FATAL_FAILURE(ExpectExit(kestrom, 1));
    }
}

// With consent, every running copy of the three conflicting programs ends
// with 0, whatever the case of its file name; longer names are left alone.
TEST(KestromStartup, ConsentEndsConflictingPrograms) {
    ProgramFolder folder;
    ASSERT_EQ(folder.problem, "");
    // Wine's file names ignore case: the two copies of brumo lie apart.
    e2e::ScratchDir places[2];
    const struct {
        int place;
        const char* name;
        bool ended;
    } copies[] = {
        {0, "brumo.exe", true},   {1, "Brumo.Exe", true},    {0, "TRIVEX.EXE", true},
        {0, "plorvad.exe", true}, {0, "xbrumo.exe", false}, {0, "brumox.exe", false},
    };
    Process sleepers[std::size(copies)];
    for (size_t i = 0; i < std::size(copies); ++i) {
        ASSERT_NO_FATAL_FAILURE(StartSleeper(places[copies[i].place], copies[i].name, sleepers[i]));
    }
    Process kestrom;
    HWND main = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartToMainWindow(folder, kestrom, &main));
    // Ended before the engine loaded, so before the window showed.
    for (size_t i = 0; i < std::size(copies); ++i) {
        if (copies[i].ended) {
            EXPECT_EQ(sleepers[i].WaitExit(kExitTimeoutMs), std::optional<DWORD>(0)) << copies[i].name;
        } else {
            EXPECT_TRUE(sleepers[i].Running()) << copies[i].name;
        }
    }
    ASSERT_NO_FATAL_FAILURE(CloseWithExit(kestrom, main));
}

// While Pictavo's imprinta.exe runs (in any case of letters) Kestrom refuses to
// start, and starts once it is gone; names that only contain it do not count.
TEST(KestromStartup, RefusesToStartBesidePictavo) {
    ProgramFolder folder;
    ASSERT_EQ(folder.problem, "");
    e2e::ScratchDir elsewhere;
    const struct {
        const char* name;
        bool refused;
    } cases[] = {{"Imprinta.EXE", true}, {"ximprinta.exe", false}, {"imprintax.exe", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Process utility;
        ASSERT_NO_FATAL_FAILURE(StartSleeper(elsewhere, c.name, utility));
        if (c.refused) {
            Process kestrom;
            ASSERT_TRUE(kestrom.Start(folder.program()));
            ASSERT_NO_FATAL_FAILURE(AnswerBox(
                kestrom, {"Message", "Before launching Zorvik, you have to close Pictavo.", {"OK"}, "OK", Owner::kNone}));
            ASSERT_NO_FATAL_FAILURE(ExpectExit(kestrom, 1));
            EXPECT_TRUE(utility.Running());
            utility.End();
        }
        ASSERT_NO_FATAL_FAILURE(StartAndRefuseConsent(folder));
    }
}

// A command runs from the click until its thread has ended, even while the
// engine has not said Busy yet (its thread has not run on a loaded machine):
// the progress ticks that see Busy 0 leave the elements disabled, and EXIT,
// Alt+F4, Escape and the end of the session are refused all along.
TEST(KestromGuard, CommandRunsFromTheClickUntilItsThreadEnds) {
    ProgramFolder folder(EngineCopy::kHeldFlashBios);
    ASSERT_EQ(folder.problem, "");
    e2e::UniqueHandle started(CreateEventA(nullptr, TRUE, FALSE, e2e::kHeldEngineStarted));
    e2e::UniqueHandle ticked(CreateEventA(nullptr, TRUE, FALSE, e2e::kHeldEngineTicked));
    e2e::UniqueHandle release(CreateEventA(nullptr, TRUE, FALSE, e2e::kHeldEngineRelease));
    ASSERT_TRUE(started && ticked && release);
    for (HANDLE event : {started.get(), ticked.get(), release.get()}) ResetEvent(event);

    Process kestrom;
    HWND main = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartToMainWindow(folder, kestrom, &main));
    robot::RgbImage idle;
    RECT button = kUpdateFromFileRect;
    MapWindowPoints(main, nullptr, reinterpret_cast<POINT*>(&button), 2);
    ASSERT_TRUE(robot::CaptureScreenRect(button, &idle));
    const Box refused = {"Message", kCloseWhileBusyText, {"OK"}, "OK", Owner::kMainWindow};
    // The close requests, each refused with the box; EXIT, disabled, does
    // nothing, and the box that follows it shows that it did not end the
    // program.
    // The keys go to the window with the focus: each box must be gone first.
    auto answer_refusal = [&] {
        ASSERT_NO_FATAL_FAILURE(AnswerBox(kestrom, refused));
        robot::WindowQuery boxes;
        boxes.caption = refused.caption;
        boxes.process_id = kestrom.id();
        for (const ULONGLONG deadline = GetTickCount64() + kWindowTimeoutMs;
             !robot::FindWindows(boxes).empty() && GetTickCount64() < deadline;) {
            Sleep(kPollMs);
        }
        ASSERT_TRUE(robot::FindWindows(boxes).empty()) << "the box stays";
    };
    auto refuse_every_close = [&] {
        ASSERT_TRUE(robot::ClickAt(main, kExitButton.x, kExitButton.y));
        ASSERT_TRUE(robot::PressKey(main, VK_ESCAPE));
        ASSERT_NO_FATAL_FAILURE(answer_refusal());
        ASSERT_TRUE(robot::PressKey(main, VK_F4, true));
        ASSERT_NO_FATAL_FAILURE(answer_refusal());
        DWORD_PTR answer = 1;
        ASSERT_TRUE(SendMessageTimeoutA(main, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, kWindowTimeoutMs, &answer));
        EXPECT_EQ(answer, 0u) << "the session may end in the middle of the write";
        EXPECT_TRUE(kestrom.Running());
    };

    ASSERT_TRUE(robot::ClickAt(main, kUpdateFromFileButton.x, kUpdateFromFileButton.y));
    ASSERT_EQ(WaitForSingleObject(started.get(), kWindowTimeoutMs), WAIT_OBJECT_0) << "FlashBIOS never ran";
    ASSERT_NO_FATAL_FAILURE(refuse_every_close());
    // Progress ticks have seen Busy 0 with the thread still running.
    ASSERT_EQ(WaitForSingleObject(ticked.get(), kWindowTimeoutMs), WAIT_OBJECT_0) << "no progress tick";
    ASSERT_NO_FATAL_FAILURE(refuse_every_close());
    robot::RgbImage during;
    ASSERT_TRUE(robot::CaptureScreenRect(button, &during));
    EXPECT_NE(during.rgb, idle.rgb) << "the elements were enabled while the command ran";

    // Once the thread has ended the display ends, and EXIT ends the program.
    SetEvent(release.get());
    robot::RgbImage after;
    for (const ULONGLONG deadline = GetTickCount64() + kPaintTimeoutMs; GetTickCount64() < deadline;) {
        ASSERT_TRUE(robot::CaptureScreenRect(button, &after));
        if (after.rgb == idle.rgb) break;
        Sleep(kPollMs);
    }
    EXPECT_EQ(after.rgb, idle.rgb) << "the elements came back";
    ASSERT_NO_FATAL_FAILURE(CloseWithExit(kestrom, main));
}

}  // namespace
