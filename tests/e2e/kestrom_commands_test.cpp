// Kestrom's skin driven by the robot at its elements' client points, every
// window real: the hover and pressed looks, the update from a file with the
// engine's whole dialog chain and the progress display moving, the save to a
// file, the update from the loopback FTP server, and a close refused while a
// write runs. Kestrom runs as a program of its own in a scratch folder with
// the real Vossel.dll and the simulated flash.dll.
#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <oleacc.h>

#include "e2e_support.h"
#include "engine_host.h"
#include "png_writer.h"
#include "screen_capture.h"
#include "window_robot.h"

namespace {

using namespace e2e;

// Client points of the skin's elements.
constexpr POINT kUpdateFromServer = {452, 85};
constexpr POINT kUpdateFromFile = {452, 110};
constexpr POINT kSaveBios = {452, 135};
constexpr POINT kExit = {519, 44};
constexpr RECT kUpdateFromFileRect = {362, 98, 543, 122};
constexpr RECT kProgressBar = {45, 174, 352, 184};
constexpr POINT kClearDmi = {262, 219};
constexpr POINT kLoadCmosDefault = {73, 219};
constexpr RECT kClearDmiRect = {250, 207, 274, 231};
constexpr RECT kLogo = {49, 34, 150, 61};
constexpr POINT kAbout = {452, 160};
constexpr POINT kLauncher = {403, 42};
constexpr RECT kLoadCmosDefaultRect = {61, 207, 85, 231};
constexpr UINT kSystemMenuAbout = 0x0010;

std::string Narrow(BSTR text) {
    if (text == nullptr) return {};
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size_t(length > 0 ? length - 1 : 0), '\0');
    if (length > 1) WideCharToMultiByte(CP_ACP, 0, text, -1, &result[0], length, nullptr, nullptr);
    SysFreeString(text);
    return result;
}

// One child of the window's client object, as assistive technology reads it.
struct AccessibleChild {
    std::string name;
    long role;
    long state;
    std::string value;
    bool operator==(const AccessibleChild& other) const {
        return name == other.name && role == other.role && state == other.state && value == other.value;
    }
};

std::ostream& operator<<(std::ostream& out, const AccessibleChild& child) {
    return out << "{\"" << child.name << "\", role " << child.role << ", state 0x" << std::hex << child.state
               << std::dec << ", \"" << child.value << "\"}";
}

// The children of the window's client object through the platform's
// accessibility API, from this process as a screen reader reads them.
std::vector<AccessibleChild> ReadAccessible(HWND window) {
    IAccessible* client = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, DWORD(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&client))) ||
        client == nullptr) {
        return {};
    }
    long count = 0;
    client->get_accChildCount(&count);
    std::vector<AccessibleChild> children;
    for (long id = 1; id <= count; ++id) {
        VARIANT child;
        VariantInit(&child);
        child.vt = VT_I4;
        child.lVal = id;
        AccessibleChild read = {};
        BSTR text = nullptr;
        if (client->get_accName(child, &text) == S_OK) read.name = Narrow(text);
        text = nullptr;
        if (client->get_accValue(child, &text) == S_OK) read.value = Narrow(text);
        VARIANT role, state;
        VariantInit(&role);
        VariantInit(&state);
        if (client->get_accRole(child, &role) == S_OK && role.vt == VT_I4) read.role = role.lVal;
        if (client->get_accState(child, &state) == S_OK && state.vt == VT_I4) read.state = state.lVal;
        children.push_back(read);
    }
    client->Release();
    return children;
}

// The state of the named child, or -1.
long AccessibleState(HWND window, const std::string& name) {
    for (const AccessibleChild& child : ReadAccessible(window)) {
        if (child.name == name) return child.state;
    }
    return -1;
}

// Polls the named child until its state has all of bits set and none of
// clear; false at the timeout.
bool WaitForState(HWND window, const std::string& name, long set, long clear) {
    const ULONGLONG deadline = GetTickCount64() + kWindowTimeoutMs;
    while (GetTickCount64() < deadline) {
        const long state = AccessibleState(window, name);
        if (state != -1 && (state & set) == set && (state & clear) == 0) return true;
        Sleep(20);
    }
    return false;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

// The pixels of a client rectangle of window, as the screen shows them.
std::vector<uint8_t> ClientPixels(HWND window, RECT rect) {
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    robot::RgbImage image;
    if (!robot::CaptureScreenRect(rect, &image)) return {};
    return image.rgb;
}

// Polls a client rectangle of window until it shows something other than
// from (a picture, not an empty capture), or for two seconds; what it showed
// last.
std::vector<uint8_t> PixelsOtherThan(HWND window, RECT rect, const std::vector<uint8_t>& from) {
    std::vector<uint8_t> shown;
    for (int i = 0; i < 200 && (shown.empty() || shown == from); ++i) {
        Sleep(10);
        shown = ClientPixels(window, rect);
    }
    return shown;
}

// Polls a client rectangle of window until it shows want, or for two
// seconds; what it showed last.
std::vector<uint8_t> PixelsBecoming(HWND window, RECT rect, const std::vector<uint8_t>& want) {
    std::vector<uint8_t> shown;
    for (int i = 0; i < 200 && shown != want; ++i) {
        Sleep(10);
        shown = ClientPixels(window, rect);
    }
    return shown;
}

// Where two captures of one rectangle differ, for a failure message.
std::string DiffBox(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width) {
    if (a.size() != b.size()) return "sizes differ";
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
    for (size_t i = 0; i < a.size() / 3; ++i) {
        if (std::memcmp(&a[i * 3], &b[i * 3], 3) == 0) continue;
        const int x = int(i) % width, y = int(i) / width;
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
        ++count;
    }
    return std::to_string(count) + " pixels differ in x " + std::to_string(left) + ".." + std::to_string(right) +
           ", y " + std::to_string(top) + ".." + std::to_string(bottom);
}

// Kestrom started in a scratch folder; ended at the end of the test whatever
// happened.
class Kestrom {
public:
    explicit Kestrom(const ScratchDir& folder) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        std::string command = "\"" + folder.File("Kestrom.exe") + "\"";
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.path().c_str(),
                           &startup, &started)) {
            process_.reset(started.hProcess);
            CloseHandle(started.hThread);
            pid_ = started.dwProcessId;
        }
    }
    ~Kestrom() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 99);
    }
    bool started() const { return process_ != nullptr; }
    DWORD pid() const { return pid_; }
    HWND Window(const std::string& caption) const {
        return robot::WaitForWindow({caption, std::nullopt, pid_}, kWindowTimeoutMs);
    }
    // The exit code once it has ended, or -1 when it has not in time.
    long ExitCode(DWORD timeout_ms) const {
        if (WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return long(code);
    }
    bool Running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

private:
    UniqueHandle process_;
    DWORD pid_ = 0;
};

// Waits until the window is gone; a dialog of the same title may follow.
void PressAndWaitGone(HWND window, const char* button) {
    ASSERT_TRUE(robot::PressButton(window, button)) << Describe(window);
    ASSERT_TRUE(WaitUntilGone(window));
}

void ChooseFileIn(const Kestrom& kestrom, const char* caption, const std::string& path, const char* button,
                  const char* screenshot) {
    HWND dialog = kestrom.Window(caption);
    ASSERT_NE(dialog, nullptr) << "no \"" << caption << "\" dialog";
    HWND name_box = FindControl(dialog, "Edit");
    ASSERT_NE(name_box, nullptr) << Describe(dialog);
    ASSERT_TRUE(robot::SetControlText(name_box, path));
    Repaint(dialog);
    EXPECT_TRUE(robot::SaveScreenshot(dialog, robot::ScreenshotPath(screenshot)));
    PressAndWaitGone(dialog, button);
}

class KestromCommands : public ::testing::Test {
protected:
    void TearDown() override { CoUninitialize(); }
    void SetUp() override {
        // The accessibility API's objects come through COM.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        // The tooltips come up beside the real pointer: keep it in the
        // screen's far corner, away from the window.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        ASSERT_TRUE(scratch_.ok());
        for (const char* file : {"Kestrom.exe", "Vossel.dll", "flash.dll"}) {
            ASSERT_TRUE(CopyFileA((ProgramDir() + file).c_str(), scratch_.File(file).c_str(), FALSE)) << file;
        }
        WriteBytes(scratch_.File("flashsim.ini"),
                   "[Flash]\r\nFlashSize=0x100000\r\nFlashType=MX25L8005 (simulated)\r\nContent=flash.bin\r\n"
                   "[Bios]\r\nBiosType=1\r\nBiosPartNumber=6A69VN01\r\n"
                   "SignOnMessage=NORVANE 6A69VN01 Award Modular BIOS v6.00PG F5\r\n"
                   "[Timing]\r\nPhaseMillis=300\r\n[Journal]\r\nPath=flashsim.log\r\n");
        WriteBytes(scratch_.File("config.ini"),
                   "[SERVER]\r\n0=Norvane (local)\r\n[0]\r\nAddress=127.0.0.31\r\nDirectory=//BIOS\r\n");
        image_ = MakeImage("0x3C");
    }

    std::string MakeImage(const char* filler) {
        return MakeAwardImage(scratch_.File(std::string("image-") + filler + ".bin"), filler);
    }

    // Starts Kestrom, consents, and waits for its main window; keeps the
    // look of "Update BIOS from File" at rest.
    HWND Start(Kestrom& kestrom) {
        if (!kestrom.started()) return nullptr;
        HWND consent = kestrom.Window("Message");
        if (consent == nullptr || !robot::PressButton(consent, "OK")) return nullptr;
        HWND main = kestrom.Window("Zorvik");
        if (main == nullptr) return nullptr;
        Repaint(main);
        idle_button_ = ClientPixels(main, kUpdateFromFileRect);
        return main;
    }

    // Ends Kestrom by its EXIT element; it ends with 0.
    void ExitByItsElement(const Kestrom& kestrom, HWND main) {
        ASSERT_TRUE(robot::ClickAt(main, kExit.x, kExit.y));
        EXPECT_EQ(kestrom.ExitCode(kFinishTimeoutMs), 0);
    }

    // Answers CMSG2 with OK and then CMSG1 with "Restart Later", sampling the
    // progress bar meanwhile; the distinct pictures the bar showed.
    size_t ConfirmWriteAndWatchProgress(const Kestrom& kestrom, HWND main, const char* screenshot) {
        HWND confirm = kestrom.Window("Message");
        if (confirm == nullptr) return 0;
        robot::WindowInfo info;
        robot::ReadWindow(confirm, &info);
        EXPECT_EQ(info.ButtonTexts(), (std::vector<std::string>{"OK", "Cancel"}));
        robot::PressButton(confirm, "OK");
        WaitUntilGone(confirm);
        std::set<std::vector<uint8_t>> frames;
        bool shot = false;
        HWND restart = nullptr;
        const ULONGLONG deadline = GetTickCount64() + kWindowTimeoutMs;
        while (GetTickCount64() < deadline) {
            frames.insert(ClientPixels(main, kProgressBar));
            if (!shot && frames.size() >= 3) {
                shot = robot::SaveScreenshot(main, robot::ScreenshotPath(screenshot));
            }
            const std::vector<HWND> found = robot::FindWindows({std::string("Message"), std::nullopt, kestrom.pid()});
            if (!found.empty()) {
                restart = found.front();
                break;
            }
            Sleep(20);
        }
        if (restart == nullptr) return 0;
        robot::ReadWindow(restart, &info);
        EXPECT_EQ(info.ButtonTexts(), (std::vector<std::string>{"Restart Now", "Restart Later"}));
        robot::PressButton(restart, "Restart Later");
        WaitUntilGone(restart);
        return frames.size();
    }

    // Waits until the skin's wide buttons are back from their disabled look:
    // the command display has ended.
    bool WaitIdle(HWND main, const std::vector<uint8_t>& idle_button) {
        const ULONGLONG deadline = GetTickCount64() + kWindowTimeoutMs;
        while (GetTickCount64() < deadline) {
            if (ClientPixels(main, kUpdateFromFileRect) == idle_button) return true;
            Sleep(20);
        }
        return false;
    }

    std::string Part() const { return ReadAll(scratch_.File("flash.bin")); }

    // The driver's journal lines written since the last call.
    std::vector<std::string> NewJournalLines() {
        const std::string journal = ReadAll(scratch_.File("flashsim.log"));
        std::vector<std::string> lines;
        size_t at = std::min(journal_read_, journal.size());
        while (at < journal.size()) {
            size_t end = journal.find('\n', at);
            if (end == std::string::npos) end = journal.size();
            std::string line = journal.substr(at, end - at);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            at = end + 1;
        }
        journal_read_ = journal.size();
        return lines;
    }

    ScratchDir scratch_;
    std::string image_;
    std::vector<uint8_t> idle_button_;
    size_t journal_read_ = 0;
};

TEST_F(KestromCommands, ElementsShowTheirLooksCheckBoxesToggleAndTheLogoMoves) {
    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    const std::vector<uint8_t> resting = idle_button_;
    ASSERT_FALSE(resting.empty());
    ASSERT_TRUE(robot::MoveMouse(main, kUpdateFromFile.x, kUpdateFromFile.y));
    const std::vector<uint8_t> hover = PixelsOtherThan(main, kUpdateFromFileRect, resting);
    EXPECT_NE(hover, resting) << "the hover look differs from the resting one";
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_hover_update_from_file.png")));
    ASSERT_TRUE(robot::PressAt(main, kUpdateFromFile.x, kUpdateFromFile.y));
    const std::vector<uint8_t> pressed = PixelsOtherThan(main, kUpdateFromFileRect, hover);
    EXPECT_NE(pressed, hover) << "the pressed look differs from the hover one";
    EXPECT_NE(pressed, resting);
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_pressed_update_from_file.png")));
    // Released outside: no command, the resting look again.
    ASSERT_TRUE(robot::ReleaseAt(main, 300, 130));
    ASSERT_TRUE(robot::MoveMouse(main, 300, 130));
    const std::vector<uint8_t> after = PixelsBecoming(main, kUpdateFromFileRect, resting);
    EXPECT_TRUE(after == resting) << DiffBox(after, resting, kUpdateFromFileRect.right - kUpdateFromFileRect.left);
    EXPECT_TRUE(robot::FindWindows({std::string("Open"), std::nullopt, kestrom.pid()}).empty()) << "no command ran";

    // A click on "Clear DMI" checks it at once; a second one unchecks it.
    const std::vector<uint8_t> unchecked = ClientPixels(main, kClearDmiRect);
    ASSERT_TRUE(robot::ClickAt(main, kClearDmi.x, kClearDmi.y));
    ASSERT_TRUE(robot::MoveMouse(main, 300, 130));
    const std::vector<uint8_t> checked = PixelsOtherThan(main, kClearDmiRect, unchecked);
    EXPECT_NE(checked, unchecked);
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_clear_dmi_checked.png")));
    ASSERT_TRUE(robot::ClickAt(main, kClearDmi.x, kClearDmi.y));
    ASSERT_TRUE(robot::MoveMouse(main, 300, 130));
    EXPECT_EQ(PixelsBecoming(main, kClearDmiRect, unchecked), unchecked);

    // The logo moves on by itself.
    const std::vector<uint8_t> logo = ClientPixels(main, kLogo);
    EXPECT_NE(PixelsOtherThan(main, kLogo, logo), logo) << "the logo animates";
    ExitByItsElement(kestrom, main);
}

TEST_F(KestromCommands, UpdateFromAFileThenSaveTheFlashToAFile) {
    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    const std::string image_path = scratch_.File("image-0x3C.bin");
    ASSERT_NE(Part(), image_);

    ASSERT_TRUE(robot::ClickAt(main, kUpdateFromFile.x, kUpdateFromFile.y));
    ASSERT_NE(kestrom.Window("Open"), nullptr);
    // A close asked for while the update runs is refused, with a word why.
    ASSERT_TRUE(robot::RequestClose(main));
    HWND wait_box = kestrom.Window("Message");
    ASSERT_NE(wait_box, nullptr);
    robot::WindowInfo info;
    ASSERT_TRUE(robot::ReadWindow(wait_box, &info));
    ASSERT_EQ(info.StaticTexts().size(), 1u);
    EXPECT_NE(info.StaticTexts()[0].find("is running"), std::string::npos) << info.StaticTexts()[0];
    EXPECT_TRUE(robot::SaveScreenshot(wait_box, robot::ScreenshotPath("kestrom_close_refused.png")));
    PressAndWaitGone(wait_box, "OK");
    EXPECT_TRUE(kestrom.Running());
    ASSERT_NO_FATAL_FAILURE(ChooseFileIn(kestrom, "Open", image_path, "&Open", "kestrom_update_open_dialog.png"));
    const size_t frames = ConfirmWriteAndWatchProgress(kestrom, main, "kestrom_update_progress.png");
    EXPECT_GE(frames, 3u) << "the progress bar moved through its frames";
    ASSERT_TRUE(WaitIdle(main, idle_button_)) << "the command display ended";
    EXPECT_EQ(Part(), image_) << "the part holds the picked image";

    const std::string saved = scratch_.File("saved-after-update.bin");
    ASSERT_TRUE(robot::ClickAt(main, kSaveBios.x, kSaveBios.y));
    ASSERT_NO_FATAL_FAILURE(ChooseFileIn(kestrom, "Save", saved, "&Save", "kestrom_save_dialog.png"));
    HWND done = kestrom.Window("Message");
    ASSERT_NE(done, nullptr);
    ASSERT_TRUE(robot::ReadWindow(done, &info));
    EXPECT_EQ(info.StaticTexts(), std::vector<std::string>{"BIOS save completed !"});
    PressAndWaitGone(done, "OK");
    ASSERT_TRUE(WaitIdle(main, idle_button_));
    EXPECT_EQ(ReadAll(saved), Part());
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_idle_after_save.png")));
    ExitByItsElement(kestrom, main);
}

TEST_F(KestromCommands, UpdateFromTheLoopbackServer) {
    const char* state = std::getenv("FTP_STATEDIR");
    ASSERT_NE(state, nullptr) << "the e2e_ftp fixture did not run";
    const std::string root = HostPathInWine(std::string(state) + "/site/BIOS/");
    CreateDirectoryA(root.c_str(), nullptr);
    const std::string served = MakeImage("0x66");
    WriteBytes(root + "bios.ini", "[6A69VN01]\r\nNAME=GA-7X Rev 2\r\n0=GA-7X Rev 2 F6\r\n");
    WriteBytes(root + "6a69vn01.0", served);

    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(robot::ClickAt(main, kUpdateFromServer.x, kUpdateFromServer.y));
    HWND sites = kestrom.Window("Please select Zorvik server site");
    ASSERT_NE(sites, nullptr);
    ASSERT_TRUE(robot::SelectListEntry(GetDlgItem(sites, 4000), 0));
    PressAndWaitGone(sites, "OK");
    HWND models = kestrom.Window("Please select one file to update");
    ASSERT_NE(models, nullptr);
    ASSERT_TRUE(robot::SelectListEntry(GetDlgItem(models, 4000), 0));
    EXPECT_TRUE(robot::SaveScreenshot(models, robot::ScreenshotPath("kestrom_server_model_dialog.png")));
    PressAndWaitGone(models, "OK");
    EXPECT_GE(ConfirmWriteAndWatchProgress(kestrom, main, "kestrom_server_progress.png"), 2u);
    ASSERT_TRUE(WaitIdle(main, idle_button_));
    EXPECT_EQ(Part(), served);
    ExitByItsElement(kestrom, main);
}

// The check boxes reach the write as they show: "Clear DMI" checked is
// keepDmi 0, unchecked 1; "Load CMOS default" checked loads the defaults after
// the write, unchecked does not. The simulated driver's journal shows what
// the engine did with them.
TEST_F(KestromCommands, CheckBoxesReachTheWriteAsTheyShow) {
    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    const struct {
        const char* shown;
        bool toggle_both;  // before this run
        const char* write_keep_dmi;
        bool cmos_defaults_loaded;
    } runs[] = {
        {"Clear DMI unchecked, Load CMOS default checked (as at start)", false, "keepDmi=1", true},
        {"Clear DMI checked, Load CMOS default unchecked", true, "keepDmi=0", false},
    };
    NewJournalLines();
    for (const auto& run : runs) {
        SCOPED_TRACE(run.shown);
        if (run.toggle_both) {
            ASSERT_TRUE(robot::ClickAt(main, kClearDmi.x, kClearDmi.y));
            ASSERT_TRUE(robot::ClickAt(main, kLoadCmosDefault.x, kLoadCmosDefault.y));
        }
        ASSERT_TRUE(robot::ClickAt(main, kUpdateFromFile.x, kUpdateFromFile.y));
        ASSERT_NO_FATAL_FAILURE(
            ChooseFileIn(kestrom, "Open", scratch_.File("image-0x3C.bin"), "&Open", "kestrom_checkboxes_open.png"));
        ASSERT_GE(ConfirmWriteAndWatchProgress(kestrom, main, "kestrom_checkboxes_progress.png"), 1u);
        ASSERT_TRUE(WaitIdle(main, idle_button_));
        const std::vector<std::string> lines = NewJournalLines();
        std::string writes, all;
        bool loaded = false;
        for (const std::string& line : lines) {
            all += "\n  " + line;
            if (line.rfind("W_Flash_Write", 0) == 0) writes += line + ";";
            if (line.rfind("Load_CMOS_Default", 0) == 0) loaded = true;
        }
        EXPECT_NE(writes.find(run.write_keep_dmi), std::string::npos) << "journal:" << all;
        EXPECT_EQ(loaded, run.cmos_defaults_loaded) << "journal:" << all;
        EXPECT_EQ(Part(), image_);
    }
    ExitByItsElement(kestrom, main);
}

// The keyboard alone: Tab to "Update BIOS from File" (its focus look shows),
// Enter; the file's name typed into the open dialog and Enter; Enter for OK
// in the confirmation and Escape for "Restart Later"; the focus comes back
// where it was, and Escape closes the idle window.
TEST_F(KestromCommands, KeyboardAloneRunsAnUpdateFromAFile) {
    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    // Reading order: the launcher, Help, MINIMIZE, EXIT, then the wide buttons.
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(robot::PressKey(main, VK_TAB));
    ASSERT_TRUE(WaitForState(main, "Save Current BIOS to File", STATE_SYSTEM_FOCUSED, 0));
    // The arrow keys walk the same order, backward too.
    ASSERT_TRUE(robot::PressKey(main, VK_UP));
    ASSERT_TRUE(WaitForState(main, "Update BIOS from File", STATE_SYSTEM_FOCUSED, 0));
    const std::vector<uint8_t> focused = ClientPixels(main, kUpdateFromFileRect);
    EXPECT_NE(focused, idle_button_) << "the focus look shows";
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_focus_update_from_file.png")));

    ASSERT_TRUE(robot::PressKey(main, VK_RETURN));
    HWND open = kestrom.Window("Open");
    ASSERT_NE(open, nullptr);
    HWND name_box = nullptr;
    for (const ULONGLONG deadline = GetTickCount64() + kWindowTimeoutMs; GetTickCount64() < deadline; Sleep(20)) {
        HWND focus = robot::FocusOf(open);
        if (focus != open && robot::ReadClassName(focus) == "Edit") {
            name_box = focus;
            break;
        }
    }
    ASSERT_NE(name_box, nullptr) << "the file name box never had the focus: " << Describe(open);
    ASSERT_TRUE(robot::TypeText(open, scratch_.File("image-0x3C.bin")));
    ASSERT_TRUE(robot::PressKey(open, VK_RETURN));
    ASSERT_TRUE(WaitUntilGone(open));

    HWND confirm = kestrom.Window("Message");
    ASSERT_NE(confirm, nullptr);
    robot::WindowInfo info;
    robot::ReadWindow(confirm, &info);
    ASSERT_EQ(info.ButtonTexts(), (std::vector<std::string>{"OK", "Cancel"}));
    ASSERT_TRUE(robot::PressKey(confirm, VK_RETURN));
    ASSERT_TRUE(WaitUntilGone(confirm));
    HWND restart = kestrom.Window("Message");
    ASSERT_NE(restart, nullptr);
    robot::ReadWindow(restart, &info);
    ASSERT_EQ(info.ButtonTexts(), (std::vector<std::string>{"Restart Now", "Restart Later"}));
    ASSERT_TRUE(robot::PressKey(restart, VK_ESCAPE));
    ASSERT_TRUE(WaitUntilGone(restart));
    EXPECT_TRUE(WaitIdle(main, focused)) << "the focus look is back on the button once the command has ended";
    EXPECT_EQ(Part(), image_);

    // On through Save and About to the first check box; Space toggles it.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(robot::PressKey(main, VK_TAB));
    ASSERT_TRUE(WaitForState(main, "Load CMOS default after BIOS update", STATE_SYSTEM_FOCUSED | STATE_SYSTEM_CHECKED, 0));
    ASSERT_TRUE(robot::PressKey(main, VK_SPACE));
    EXPECT_TRUE(WaitForState(main, "Load CMOS default after BIOS update", STATE_SYSTEM_FOCUSED, STATE_SYSTEM_CHECKED));
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_focus_check_box.png")));

    ASSERT_TRUE(robot::PressKey(main, VK_ESCAPE));
    EXPECT_EQ(kestrom.ExitCode(kFinishTimeoutMs), 0);
}

// Every element, the panel's lines and the status line read through the
// platform's accessibility API: names, roles, states and values, before a
// command, after a check box is toggled, during a command and after it.
TEST_F(KestromCommands, AssistiveTechnologyReadsEveryElement) {
    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    constexpr long kButton = ROLE_SYSTEM_PUSHBUTTON, kCheck = ROLE_SYSTEM_CHECKBUTTON, kText = ROLE_SYSTEM_STATICTEXT;
    constexpr long kOn = STATE_SYSTEM_FOCUSABLE, kOff = STATE_SYSTEM_UNAVAILABLE, kChecked = STATE_SYSTEM_CHECKED,
                   kRead = STATE_SYSTEM_READONLY;
    std::vector<AccessibleChild> expected = {
        {"Brisko", kButton, kOn, ""},
        {"Help", kButton, kOn, ""},
        {"MINIMIZE", kButton, kOn, ""},
        {"EXIT", kButton, kOn, ""},
        {"Update BIOS from NORVANE Server", kButton, kOn, ""},
        {"Update BIOS from File", kButton, kOn, ""},
        {"Save Current BIOS to File", kButton, kOn, ""},
        {"About Zorvik", kButton, kOn, ""},
        {"Load CMOS default after BIOS update", kCheck, kOn | kChecked, ""},
        {"Clear DMI", kCheck, kOn, ""},
        {"Flash Type", kText, kRead, "MX25L8005 (simulated)"},
        {"Flash Size", kText, kRead, "8M bits"},
        {"BIOS Sign-on", kText, kRead, "NORVANE 6A69VN01 Award Modular BIOS v6.00PG F5"},
        {"BIOS Vendor", kText, kRead, "AWARD BIOS"},
        {"Status", kText, kRead, ""},
    };
    EXPECT_EQ(ReadAccessible(main), expected) << "before any command";

    ASSERT_TRUE(robot::ClickAt(main, kClearDmi.x, kClearDmi.y));
    ASSERT_TRUE(robot::MoveMouse(main, 300, 130));
    ASSERT_TRUE(WaitForState(main, "Clear DMI", kChecked, 0));
    expected[9].state = kOn | kChecked;
    EXPECT_EQ(ReadAccessible(main), expected) << "after Clear DMI was checked";

    ASSERT_TRUE(robot::ClickAt(main, kUpdateFromFile.x, kUpdateFromFile.y));
    HWND open = kestrom.Window("Open");
    ASSERT_NE(open, nullptr);
    std::vector<AccessibleChild> during = ReadAccessible(main);
    ASSERT_EQ(during.size(), expected.size());
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(during[i].state, kOff | (expected[i].state & kChecked)) << expected[i].name << " during a command";
        EXPECT_EQ(during[i].name, expected[i].name);
    }
    PressAndWaitGone(open, "Cancel");
    ASSERT_TRUE(WaitIdle(main, idle_button_));
    ASSERT_TRUE(WaitForState(main, "EXIT", kOn, kOff));
    EXPECT_EQ(ReadAccessible(main), expected) << "after the command";
    ExitByItsElement(kestrom, main);
}

// The rough edges of the mouse: the hover look goes when the pointer leaves
// the window (the real pointer goes over the element, then to the screen's
// far corner, and the window hears no more of it); a capture
// lost during a press (what Alt+Tab does) returns the element to its resting
// look and its release runs nothing; a fast double click on a check box
// toggles it twice.
TEST_F(KestromCommands, HoverLeaveLostCaptureAndDoubleClick) {
    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    const std::vector<uint8_t> resting = idle_button_;
    // The Tab behind the move in the window's queue marks when the move was
    // handled.
    POINT over = kUpdateFromFile;
    ClientToScreen(main, &over);
    SetCursorPos(over.x, over.y);
    ASSERT_TRUE(robot::MoveMouse(main, kUpdateFromFile.x, kUpdateFromFile.y));
    ASSERT_TRUE(robot::PressKey(main, VK_TAB));
    ASSERT_TRUE(WaitForState(main, "Brisko", STATE_SYSTEM_FOCUSED, 0));
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    EXPECT_TRUE(WaitForState(main, "Update BIOS from File", 0, STATE_SYSTEM_HOTTRACKED)) << "the hover stays";
    EXPECT_TRUE(WaitIdle(main, resting)) << "the hover look stays";

    ASSERT_TRUE(robot::PressAt(main, kUpdateFromFile.x, kUpdateFromFile.y));
    ASSERT_TRUE(WaitForState(main, "Update BIOS from File", STATE_SYSTEM_PRESSED, 0));
    ASSERT_TRUE(PostMessageA(main, WM_CANCELMODE, 0, 0));
    EXPECT_TRUE(WaitForState(main, "Update BIOS from File", 0, STATE_SYSTEM_PRESSED));
    EXPECT_TRUE(WaitIdle(main, resting)) << "the pressed look stays";
    ASSERT_TRUE(robot::ReleaseAt(main, kUpdateFromFile.x, kUpdateFromFile.y));

    // Three toggles: a double click, then a click. The Tab that follows them
    // in the window's queue marks when all were handled.
    ASSERT_TRUE(robot::DoubleClickAt(main, kClearDmi.x, kClearDmi.y));
    ASSERT_TRUE(robot::ClickAt(main, kClearDmi.x, kClearDmi.y));
    ASSERT_TRUE(robot::PressKey(main, VK_TAB));
    ASSERT_TRUE(WaitForState(main, "Help", STATE_SYSTEM_FOCUSED, 0));
    EXPECT_EQ(AccessibleState(main, "Clear DMI") & STATE_SYSTEM_CHECKED, STATE_SYSTEM_CHECKED)
        << "three clicks leave Clear DMI checked";
    EXPECT_TRUE(robot::FindWindows({std::string("Open"), std::nullopt, kestrom.pid()}).empty())
        << "the release after the lost capture ran the command";
    ExitByItsElement(kestrom, main);
}

// The about box of the system menu is owned by the main window, which it
// disables, and a second request while it shows opens none.
TEST_F(KestromCommands, AboutBoxIsOwnedModalAndAlone) {
    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(PostMessageA(main, WM_SYSCOMMAND, kSystemMenuAbout, 0));
    HWND about = kestrom.Window("About Kestrom");
    ASSERT_NE(about, nullptr);
    robot::WindowInfo info;
    ASSERT_TRUE(robot::ReadWindow(about, &info));
    EXPECT_EQ(info.owner, main);
    EXPECT_FALSE(IsWindowEnabled(main)) << "the main window takes clicks behind the about box";
    // The second request, and a Tab behind it in the main window's queue
    // (the keyboard focus is in the about box) to mark when it was handled.
    ASSERT_TRUE(PostMessageA(main, WM_SYSCOMMAND, kSystemMenuAbout, 0));
    ASSERT_TRUE(PostMessageA(main, WM_KEYDOWN, VK_TAB, 1));
    ASSERT_TRUE(WaitForState(main, "Brisko", STATE_SYSTEM_FOCUSED, 0));
    EXPECT_EQ(robot::FindWindows({std::string("About Kestrom"), std::nullopt, kestrom.pid()}).size(), 1u);
    PressAndWaitGone(about, "OK");
    EXPECT_TRUE(IsWindowEnabled(main));

    // The About element's box, likewise.
    ASSERT_TRUE(robot::ClickAt(main, kAbout.x, kAbout.y));
    HWND box = kestrom.Window("About Norvane Zorvik Writer");
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(robot::ReadWindow(box, &info));
    EXPECT_EQ(info.owner, main);
    EXPECT_FALSE(IsWindowEnabled(main));
    PressAndWaitGone(box, "OK");
    ExitByItsElement(kestrom, main);
}

// Help (F1 or its element) and the launcher, missing beside the program: a
// box names the file.
TEST_F(KestromCommands, MissingHelpAndLauncherAreNamed) {
    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    const struct {
        const char* how;
        std::function<bool()> ask;
        const char* file;
    } cases[] = {
        {"F1", [&] { return robot::PressKey(main, VK_F1); }, "Zorvik.chm"},
        {"the launcher", [&] { return robot::ClickAt(main, kLauncher.x, kLauncher.y); }, "Pronnel.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        ASSERT_TRUE(c.ask());
        HWND box = kestrom.Window("Message");
        ASSERT_NE(box, nullptr);
        robot::WindowInfo info;
        ASSERT_TRUE(robot::ReadWindow(box, &info));
        ASSERT_EQ(info.StaticTexts().size(), 1u);
        EXPECT_EQ(info.StaticTexts()[0].rfind(std::string(c.file) + " was not found beside Zorvik", 0), 0u)
            << info.StaticTexts()[0];
        PressAndWaitGone(box, "OK");
    }
    ExitByItsElement(kestrom, main);
}

// On a board whose family has no such options the check boxes show the off
// look from the artwork, claim neither state and take no click.
TEST_F(KestromCommands, HiddenCheckBoxesClaimNothing) {
    WriteBytes(scratch_.File("flashsim.ini"),
               "[Flash]\r\nFlashSize=0x100000\r\nFlashType=MX25L8005 (simulated)\r\nContent=flash.bin\r\n"
               "[Bios]\r\nBiosType=2\r\nBiosPartNumber=6A69VN01\r\n[Journal]\r\nPath=flashsim.log\r\n");
    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    const std::vector<uint8_t> off = BitmapFileRgb(HostPathInWine(KESTROM_ARTWORK_DIR "/bmp240.bmp"));
    ASSERT_EQ(off.size(), 24u * 24u * 3u);
    for (const RECT& box : {kClearDmiRect, kLoadCmosDefaultRect}) {
        std::vector<uint8_t> shown;
        for (const ULONGLONG deadline = GetTickCount64() + kWindowTimeoutMs;
             shown != off && GetTickCount64() < deadline; Sleep(20)) {
            shown = ClientPixels(main, box);
        }
        EXPECT_TRUE(shown == off) << "check box at " << box.left << ": " << DiffBox(shown, off, 24);
    }
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_check_boxes_off.png")));
    for (const char* name : {"Clear DMI", "Load CMOS default after BIOS update"}) {
        EXPECT_EQ(AccessibleState(main, name), STATE_SYSTEM_UNAVAILABLE) << name;
    }
    ExitByItsElement(kestrom, main);
}

}  // namespace
