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
#include <set>
#include <string>
#include <vector>

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
constexpr RECT kClearDmiRect = {250, 207, 274, 231};
constexpr RECT kLogo = {49, 34, 150, 61};

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
    void SetUp() override {
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

    // Starts Kestrom, consents, and waits for its main window.
    HWND Start(Kestrom& kestrom) {
        if (!kestrom.started()) return nullptr;
        HWND consent = kestrom.Window("Message");
        if (consent == nullptr || !robot::PressButton(consent, "OK")) return nullptr;
        HWND main = kestrom.Window("Zorvik");
        if (main != nullptr) Repaint(main);
        return main;
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

    ScratchDir scratch_;
    std::string image_;
};

TEST_F(KestromCommands, ElementsShowTheirLooksCheckBoxesToggleAndTheLogoMoves) {
    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    const std::vector<uint8_t> resting = ClientPixels(main, kUpdateFromFileRect);
    ASSERT_FALSE(resting.empty());
    ASSERT_TRUE(robot::MoveMouse(main, kUpdateFromFile.x, kUpdateFromFile.y));
    std::vector<uint8_t> hover;
    for (int i = 0; i < 200 && (hover.empty() || hover == resting); ++i) {
        Sleep(10);
        hover = ClientPixels(main, kUpdateFromFileRect);
    }
    EXPECT_NE(hover, resting) << "the hover look differs from the resting one";
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_hover_update_from_file.png")));
    ASSERT_TRUE(robot::PressAt(main, kUpdateFromFile.x, kUpdateFromFile.y));
    std::vector<uint8_t> pressed;
    for (int i = 0; i < 200 && (pressed.empty() || pressed == hover); ++i) {
        Sleep(10);
        pressed = ClientPixels(main, kUpdateFromFileRect);
    }
    EXPECT_NE(pressed, hover) << "the pressed look differs from the hover one";
    EXPECT_NE(pressed, resting);
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_pressed_update_from_file.png")));
    // Released outside: no command, the resting look again.
    ASSERT_TRUE(robot::ReleaseAt(main, 300, 130));
    ASSERT_TRUE(robot::MoveMouse(main, 300, 130));
    std::vector<uint8_t> after;
    for (int i = 0; i < 200 && after != resting; ++i) {
        Sleep(10);
        after = ClientPixels(main, kUpdateFromFileRect);
    }
    EXPECT_TRUE(after == resting) << DiffBox(after, resting, kUpdateFromFileRect.right - kUpdateFromFileRect.left);
    EXPECT_TRUE(robot::FindWindows({std::string("Open"), std::nullopt, kestrom.pid()}).empty()) << "no command ran";

    // A click on "Clear DMI" checks it at once; a second one unchecks it.
    const std::vector<uint8_t> unchecked = ClientPixels(main, kClearDmiRect);
    ASSERT_TRUE(robot::ClickAt(main, kClearDmi.x, kClearDmi.y));
    ASSERT_TRUE(robot::MoveMouse(main, 300, 130));
    std::vector<uint8_t> checked = unchecked;
    for (int i = 0; i < 200 && checked == unchecked; ++i) {
        Sleep(10);
        checked = ClientPixels(main, kClearDmiRect);
    }
    EXPECT_NE(checked, unchecked);
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_clear_dmi_checked.png")));
    ASSERT_TRUE(robot::ClickAt(main, kClearDmi.x, kClearDmi.y));
    ASSERT_TRUE(robot::MoveMouse(main, 300, 130));
    std::vector<uint8_t> again = checked;
    for (int i = 0; i < 200 && again != unchecked; ++i) {
        Sleep(10);
        again = ClientPixels(main, kClearDmiRect);
    }
    EXPECT_EQ(again, unchecked);

    // The logo moves on by itself.
    const std::vector<uint8_t> logo = ClientPixels(main, kLogo);
    std::vector<uint8_t> later = logo;
    for (int i = 0; i < 200 && later == logo; ++i) {
        Sleep(10);
        later = ClientPixels(main, kLogo);
    }
    EXPECT_NE(later, logo) << "the logo animates";
    ASSERT_TRUE(robot::ClickAt(main, kExit.x, kExit.y));
    EXPECT_EQ(kestrom.ExitCode(kFinishTimeoutMs), 0);
}

TEST_F(KestromCommands, UpdateFromAFileThenSaveTheFlashToAFile) {
    Kestrom kestrom(scratch_);
    HWND main = Start(kestrom);
    ASSERT_NE(main, nullptr);
    const std::vector<uint8_t> idle_button = ClientPixels(main, kUpdateFromFileRect);
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
    ASSERT_TRUE(WaitIdle(main, idle_button)) << "the command display ended";
    EXPECT_EQ(Part(), image_) << "the part holds the picked image";

    const std::string saved = scratch_.File("saved-after-update.bin");
    ASSERT_TRUE(robot::ClickAt(main, kSaveBios.x, kSaveBios.y));
    ASSERT_NO_FATAL_FAILURE(ChooseFileIn(kestrom, "Save", saved, "&Save", "kestrom_save_dialog.png"));
    HWND done = kestrom.Window("Message");
    ASSERT_NE(done, nullptr);
    ASSERT_TRUE(robot::ReadWindow(done, &info));
    EXPECT_EQ(info.StaticTexts(), std::vector<std::string>{"BIOS save completed !"});
    PressAndWaitGone(done, "OK");
    ASSERT_TRUE(WaitIdle(main, idle_button));
    EXPECT_EQ(ReadAll(saved), Part());
    EXPECT_TRUE(robot::SaveScreenshot(main, robot::ScreenshotPath("kestrom_idle_after_save.png")));
    ASSERT_TRUE(robot::ClickAt(main, kExit.x, kExit.y));
    EXPECT_EQ(kestrom.ExitCode(kFinishTimeoutMs), 0);
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
    const std::vector<uint8_t> idle_button = ClientPixels(main, kUpdateFromFileRect);
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
    ASSERT_TRUE(WaitIdle(main, idle_button));
    EXPECT_EQ(Part(), served);
    ASSERT_TRUE(robot::ClickAt(main, kExit.x, kExit.y));
    EXPECT_EQ(kestrom.ExitCode(kFinishTimeoutMs), 0);
}

}  // namespace
