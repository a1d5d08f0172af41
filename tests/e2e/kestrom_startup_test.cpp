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

// ---------------------------------------------------------------------------
// The skin sets. Wine gives each process it starts the DPI of LogPixels under
// HKCU\Control Panel\Desktop (the machine's value under the fonts key of the
// current hardware profile when the user has none), read when the process
// starts: one prefix serves every DPI, the value changed between starts.

constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kLogPixels[] = "LogPixels";

// Sets the DPI of the programs started from now on; the value found is put
// back (or removed, if there was none) when the object goes.
class StartedProgramsDpi {
public:
    StartedProgramsDpi() {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                            &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        DWORD type = 0;
        DWORD size = sizeof saved_;
        had_value_ = RegQueryValueExA(key_, kLogPixels, nullptr, &type, reinterpret_cast<BYTE*>(&saved_), &size) ==
                         ERROR_SUCCESS &&
                     type == REG_DWORD;
    }
    ~StartedProgramsDpi() {
        if (key_ == nullptr) return;
        if (had_value_) {
            Set(saved_);
        } else {
            RegDeleteValueA(key_, kLogPixels);
        }
        RegCloseKey(key_);
    }
    StartedProgramsDpi(const StartedProgramsDpi&) = delete;
    StartedProgramsDpi& operator=(const StartedProgramsDpi&) = delete;

    bool Set(DWORD dpi) {
        return key_ != nullptr &&
               RegSetValueExA(key_, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi) ==
                   ERROR_SUCCESS;
    }

private:
    HKEY key_ = nullptr;
    DWORD saved_ = 0;
    bool had_value_ = false;
};

// The skin at 100 percent.
constexpr int kSkinWidth = 580;
constexpr int kSkinHeight = 262;

// A skin coordinate (written at 100 percent) in the set of percent: rounded
// half up, edge by edge.
int At(int value, int percent) { return (value * percent + 50) / 100; }

struct SkinSetCase {
    DWORD dpi;
    int percent;
    const char* screenshot;
};
constexpr SkinSetCase kSkinSets[] = {
    {96, 100, "kestrom_dpi_96.png"},
    {144, 150, "kestrom_dpi_144.png"},
    {192, 200, "kestrom_dpi_192.png"},
};

// The window's region once the first paint has set it; false if none came.
bool WaitForRegion(HWND window, HRGN region) {
    for (const ULONGLONG deadline = GetTickCount64() + kPaintTimeoutMs;;) {
        if (GetWindowRgn(window, region) != ERROR) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollMs);
    }
}

bool PanelYellow(const uint8_t* pixel) { return pixel[0] > 200 && pixel[1] > 200 && pixel[2] < 100; }

// The panel's text pixels: where each lies, in or out of the four fields (at
// the set's scale), once the fields show text; the client area in image.
struct PanelTextPlaces {
    size_t inFields[4] = {};
    std::string outside;  // the first few pixels outside every field
};

PanelTextPlaces ReadPanelText(const robot::RgbImage& client, int percent) {
    constexpr int kFieldTops[] = {82, 101, 120, 137};
    PanelTextPlaces places;
    // The card that holds the fields: columns 40 to 355, rows 73 to 159.
    for (int y = At(73, percent); y < At(160, percent) && unsigned(y) < client.height; ++y) {
        for (int x = At(40, percent); x < At(356, percent) && unsigned(x) < client.width; ++x) {
            if (!PanelYellow(client.Pixel(unsigned(x), unsigned(y)))) continue;
            bool inside = false;
            for (size_t f = 0; f < std::size(kFieldTops); ++f) {
                if (x >= At(149, percent) && x < At(kPanelFieldRight, percent) && y >= At(kFieldTops[f], percent) &&
                    y < At(kFieldTops[f] + kFieldHeight, percent)) {
                    ++places.inFields[f];
                    inside = true;
                }
            }
            if (!inside && places.outside.size() < 80) {
                places.outside += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
            }
        }
    }
    return places;
}

size_t WhitePixels(const robot::RgbImage& client, int left, int top, int right, int bottom) {
    size_t count = 0;
    for (int y = top; y < bottom && unsigned(y) < client.height; ++y) {
        for (int x = left; x < right && unsigned(x) < client.width; ++x) {
            const uint8_t* p = client.Pixel(unsigned(x), unsigned(y));
            if (p[0] > 230 && p[1] > 230 && p[2] > 230) ++count;
        }
    }
    return count;
}

// The launcher, first in reading order, shows its keyboard focus look of the
// set of percent (bitmap 247 of the set) over its rectangle at the set's
// scale; false, with the first differing pixel in where, if it does not
// within the paint timeout.
bool ShowsLauncherFocus(HWND main, int percent, std::string* where) {
    const int step = percent == 100 ? 0 : percent == 150 ? 1000 : 2000;
    const std::vector<uint8_t> look = e2e::BitmapFileRgb(
        e2e::HostPathInWine(KESTROM_ARTWORK_DIR "/bmp" + std::to_string(247 + step) + ".bmp"));
    const int left = At(383, percent), top = At(23, percent);
    const int width = At(423, percent) - left, height = At(62, percent) - top;
    if (look.size() != size_t(width) * size_t(height) * 3) {
        *where = "bitmap of " + std::to_string(look.size() / 3) + " pixels";
        return false;
    }
    robot::RgbImage client;
    for (const ULONGLONG deadline = GetTickCount64() + kPaintTimeoutMs;;) {
        if (!CaptureClient(main, &client)) return false;
        *where = "";
        for (int y = 0; y < height && where->empty(); ++y) {
            for (int x = 0; x < width && where->empty(); ++x) {
                if (unsigned(left + x) >= client.width || unsigned(top + y) >= client.height ||
                    !SameColour(client.Pixel(unsigned(left + x), unsigned(top + y)), &look[(size_t(y) * width + x) * 3])) {
                    *where = "(" + std::to_string(left + x) + "," + std::to_string(top + y) + ")";
                }
            }
        }
        if (where->empty()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollMs);
    }
}

// What the window must show in the set of percent: its size and region, the
// panel's text within its fields, the launcher's focus look (Tab has been
// pressed once), and the elements answering at their places in the set:
// Clear DMI toggles its tick, About opens its box. The screenshot is saved
// under the name given, if any.
void ExpectSkinSet(const Process& kestrom, HWND main, int percent, const char* screenshot) {
    RECT window = {};
    ASSERT_TRUE(GetWindowRect(main, &window));
    EXPECT_EQ(window.right - window.left, At(kSkinWidth, percent));
    EXPECT_EQ(window.bottom - window.top, At(kSkinHeight, percent));

    // The region: the skin's opaque part, columns 24 to 558 and rows 20 to
    // 238 at 100 percent, with the magenta corners left out.
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_TRUE(WaitForRegion(main, region)) << "the window has no region";
    RECT box = {};
    GetRgnBox(region, &box);
    EXPECT_EQ(box.left, At(24, percent));
    EXPECT_EQ(box.top, At(20, percent));
    EXPECT_EQ(box.right, At(559, percent));
    EXPECT_EQ(box.bottom, At(239, percent));
    for (const POINT& point : kOutsideShape) {
        EXPECT_FALSE(PtInRegion(region, At(point.x, percent), At(point.y, percent)))
            << "(" << point.x << "," << point.y << ") at " << percent << "%";
    }
    for (const POINT& point : kInsideShape) {
        EXPECT_TRUE(PtInRegion(region, At(point.x, percent), At(point.y, percent)))
            << "(" << point.x << "," << point.y << ") at " << percent << "%";
    }
    DeleteObject(region);

    // The panel's four lines, each within its field: none spills below, above
    // or right of it, which a font of another scale than the skin's would.
    robot::RgbImage client;
    PanelTextPlaces places;
    for (const ULONGLONG deadline = GetTickCount64() + kPaintTimeoutMs;;) {
        ASSERT_TRUE(CaptureClient(main, &client));
        places = ReadPanelText(client, percent);
        bool all = true;
        for (size_t count : places.inFields) all = all && count > 0;
        if ((all && places.outside.empty()) || GetTickCount64() >= deadline) break;
        Sleep(kPollMs);
    }
    for (size_t f = 0; f < std::size(places.inFields); ++f) {
        EXPECT_GT(places.inFields[f], 0u) << "field " << f;
    }
    EXPECT_EQ(places.outside, "") << "panel text outside its fields at " << percent << "%";
    std::string where;
    EXPECT_TRUE(ShowsLauncherFocus(main, percent, &where)) << "launcher's focus look at " << percent << "%: " << where;
    if (screenshot != nullptr) {
        EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath(screenshot)));
    }

    // Clear DMI, unticked at the start, 250..274 x 207..231: clicked in its
    // middle at the set's scale, its tick shows (white) and goes again.
    const int dmiLeft = At(250, percent), dmiTop = At(207, percent);
    const int dmiRight = At(274, percent), dmiBottom = At(231, percent);
    const POINT dmi = {(dmiLeft + dmiRight) / 2, (dmiTop + dmiBottom) / 2};
    for (bool ticked : {true, false}) {
        ASSERT_TRUE(robot::ClickAt(main, dmi.x, dmi.y));
        size_t white = 0;
        for (const ULONGLONG deadline = GetTickCount64() + kPaintTimeoutMs;;) {
            ASSERT_TRUE(CaptureClient(main, &client));
            white = WhitePixels(client, dmiLeft, dmiTop, dmiRight, dmiBottom);
            if ((white > 0) == ticked || GetTickCount64() >= deadline) break;
            Sleep(kPollMs);
        }
        EXPECT_EQ(white > 0, ticked) << "Clear DMI at " << percent << "%: " << white << " white pixels";
    }

    // About Zorvik, 362..543 x 148..172.
    ASSERT_TRUE(robot::ClickAt(main, At(452, percent), At(160, percent)));
    robot::WindowQuery about;
    about.caption = "About Norvane Zorvik Writer";
    about.class_name = robot::kDialogClass;
    about.process_id = kestrom.id();
    HWND box_window = robot::WaitForWindow(about, kWindowTimeoutMs);
    ASSERT_NE(box_window, nullptr) << "no About box at " << percent << "%; windows:" << WindowsOf(kestrom);
    ASSERT_TRUE(robot::PressButton(box_window, "OK"));
}

// At 96, 144 and 192 DPI the window opens in the skin set of 100, 150 and
// 200 percent, centred on the work area of the monitor that holds the
// cursor, and the set is used throughout; EXIT answers at its place in it.
TEST(KestromSkinSets, EachDpiOpensInItsOwnSet) {
    ProgramFolder folder;
    ASSERT_EQ(folder.problem, "");
    StartedProgramsDpi dpi;
    for (const SkinSetCase& c : kSkinSets) {
        SCOPED_TRACE(c.dpi);
        ASSERT_TRUE(dpi.Set(c.dpi));
        const POINT cursor = {200, 150};
        SetCursorPos(cursor.x, cursor.y);
        Process kestrom;
        HWND main = nullptr;
        ASSERT_NO_FATAL_FAILURE(StartToMainWindow(folder, kestrom, &main));
        ASSERT_TRUE(robot::PressKey(main, VK_TAB));

        MONITORINFO monitor = {};
        monitor.cbSize = sizeof monitor;
        ASSERT_TRUE(GetMonitorInfoA(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &monitor));
        const RECT& work = monitor.rcWork;
        RECT window = {};
        ASSERT_TRUE(GetWindowRect(main, &window));
        EXPECT_EQ(window.left, work.left + (work.right - work.left - At(kSkinWidth, c.percent)) / 2);
        EXPECT_EQ(window.top, work.top + (work.bottom - work.top - At(kSkinHeight, c.percent)) / 2);

        ASSERT_NO_FATAL_FAILURE(ExpectSkinSet(kestrom, main, c.percent, c.screenshot));
        ASSERT_TRUE(robot::ClickAt(main, At(kExitButton.x, c.percent), At(kExitButton.y, c.percent)));
        ASSERT_NO_FATAL_FAILURE(ExpectExit(kestrom, 0));
    }
}

// A DPI change (the window moved to another monitor) switches the set where
// the window stands: size, region, text and elements follow. Wine sends no
// such message of its own; the robot sends it, without the suggested place.
TEST(KestromSkinSets, DpiChangeSwitchesTheSet) {
    ProgramFolder folder;
    ASSERT_EQ(folder.problem, "");
    StartedProgramsDpi dpi;
    ASSERT_TRUE(dpi.Set(96));
    Process kestrom;
    HWND main = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartToMainWindow(folder, kestrom, &main));
    // Near the screen's corner, so that the largest set fits on the screen
    // the robot reads.
    ASSERT_TRUE(SetWindowPos(main, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    RECT before = {};
    ASSERT_TRUE(GetWindowRect(main, &before));
    ASSERT_EQ(before.left, 10);
    // The focus stays on the launcher through the changes, in each set's look.
    ASSERT_TRUE(robot::PressKey(main, VK_TAB));
    const struct {
        UINT dpi;
        int percent;
        const char* screenshot;
    } changes[] = {{192, 200, "kestrom_dpi_change_192.png"},
                   {144, 150, "kestrom_dpi_change_144.png"},
                   {96, 100, "kestrom_dpi_change_96.png"}};
    for (const auto& change : changes) {
        SCOPED_TRACE(change.dpi);
        DWORD_PTR answer = 0;
        ASSERT_TRUE(SendMessageTimeoutA(main, WM_DPICHANGED, MAKEWPARAM(change.dpi, change.dpi), 0, SMTO_ABORTIFHUNG,
                                        kWindowTimeoutMs, &answer));
        RECT after = {};
        ASSERT_TRUE(GetWindowRect(main, &after));
        EXPECT_EQ(after.left, before.left);
        EXPECT_EQ(after.top, before.top);
        ASSERT_NO_FATAL_FAILURE(ExpectSkinSet(kestrom, main, change.percent, change.screenshot));
    }
    ASSERT_NO_FATAL_FAILURE(CloseWithExit(kestrom, main));
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
