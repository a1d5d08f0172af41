// Vossel.dll driven as a host program drives it, with every window real: a
// worker thread calls FlashBIOS(1) or SaveBIOS(0), the robot on the test's
// main thread finds the dialogs they show, reads them, fills in the file
// names and presses their buttons, and a poller watches the driver's phases
// through Get_Progress_Status. The simulated flash.dll keeps the part in a
// file beside the engine, so what landed on it is read back from there.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "engine_host.h"
#include "png_writer.h"
#include "screen_capture.h"
#include "window_robot.h"

namespace {

using namespace e2e;

constexpr char kEngineFile[] = "Vossel.dll";
constexpr char kDriverFile[] = "flash.dll";

using FlashBiosFn = int(__cdecl*)(int, const char*, int, int, unsigned);
using SaveBiosFn = int(__cdecl*)(int, const char*);

// In the file dialog titled caption, with no owner window: types path into
// the file name box, photographs the dialog and presses button.
void ChooseFile(const std::string& caption, const std::string& path, const std::string& button,
                const std::string& screenshot) {
    HWND dialog = WaitForDialog(caption);
    ASSERT_NE(dialog, nullptr) << "no file dialog \"" << caption << "\" came up";
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    HWND name_box = FindControl(dialog, "Edit");
    ASSERT_NE(name_box, nullptr) << Describe(dialog);
    ASSERT_TRUE(robot::SetControlText(name_box, path));
    Repaint(dialog);
    EXPECT_TRUE(robot::SaveScreenshot(dialog, robot::ScreenshotPath(screenshot)));
    ASSERT_TRUE(robot::PressButton(dialog, button)) << Describe(dialog);
}

class UpdateAndSave : public ::testing::Test {
protected:
    // One engine for the whole suite, loaded from a folder of its own with
    // the simulated driver and a board file beside it.
    static void SetUpTestSuite() {
        scratch_ = new e2e::ScratchDir();
        ASSERT_TRUE(scratch_->ok());
        ASSERT_TRUE(CopyFileA((e2e::ProgramDir() + kEngineFile).c_str(), scratch_->File(kEngineFile).c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((e2e::ProgramDir() + kDriverFile).c_str(), scratch_->File(kDriverFile).c_str(), FALSE));
        std::ofstream board(scratch_->File("flashsim.ini"), std::ios::binary);
        // An Award board with phases long enough to be seen by a poller.
        board << "[Flash]\r\nFlashSize=0x100000\r\nContent=flash.bin\r\n"
              << "[Bios]\r\nBiosType=1\r\nBiosPartNumber=6A69VN01\r\n"
              << "[Timing]\r\nPhaseMillis=150\r\n"
              << "[Journal]\r\nPath=flashsim.log\r\n";
        board.close();
        engine_ = LoadLibraryA(scratch_->File(kEngineFile).c_str());
        ASSERT_NE(engine_, nullptr) << "the engine did not start on the simulated board";
    }
    static void TearDownTestSuite() {
        if (engine_ != nullptr) FreeLibrary(engine_);
        engine_ = nullptr;
        delete scratch_;
        scratch_ = nullptr;
    }

    void SetUp() override { ASSERT_NE(engine_, nullptr); }

    static std::string Part() { return ReadAll(scratch_->File("flash.bin")); }

    static e2e::ScratchDir* scratch_;
    static HMODULE engine_;
};

e2e::ScratchDir* UpdateAndSave::scratch_ = nullptr;
HMODULE UpdateAndSave::engine_ = nullptr;

TEST_F(UpdateAndSave, AnImagePickedInTheOpenDialogIsConfirmedWrittenAndTheRestartPostponed) {
    const std::string image_path = scratch_->File("board-f7.bin");
    const std::string image = MakeAwardImage(image_path, "0x5A");
    ASSERT_EQ(image.size(), 0x100000u);
    ASSERT_NE(Part(), image);

    auto flash_bios = Bind<FlashBiosFn>(engine_, "FlashBIOS");
    auto progress = Bind<ProgressFn>(engine_, "Get_Progress_Status");
    ASSERT_NE(flash_bios, nullptr);
    ASSERT_NE(progress, nullptr);
    ProgressPoller poller(ProgressPoller::EngineProgress(progress));
    EngineCall update([&] { return flash_bios(1, "c:\\NoFile", 1, 0, 0); });
    ASSERT_TRUE(update.started());

    // The open-file dialog, with the system's own title.
    ASSERT_NO_FATAL_FAILURE(ChooseFile("Open", image_path, "&Open", "e2e_open_dialog.png"));

    // The last question before the write: the red warning and OK.
    HWND confirm = WaitForDialog("Message");
    ASSERT_NE(confirm, nullptr) << "CMSG2 did not come up";
    robot::WindowInfo info;
    ASSERT_TRUE(robot::ReadWindow(confirm, &info));
    EXPECT_EQ(info.ButtonTexts(), (std::vector<std::string>{"OK", "Cancel"}));
    EXPECT_EQ(info.owner, nullptr);
    Repaint(confirm);
    const InkCount ink = CountInk(confirm);
    EXPECT_GT(ink.red, 100u) << "the warning lines are painted red";
    EXPECT_GT(ink.black, 50u) << "the question is painted black";
    EXPECT_TRUE(robot::SaveScreenshot(confirm, robot::ScreenshotPath("e2e_cmsg2_confirm.png")));
    ASSERT_TRUE(robot::PressButton(confirm, "OK"));

    // After the write, the offer to restart: postponed.
    ASSERT_TRUE(WaitUntilGone(confirm)) << "CMSG2 did not close";
    HWND restart = WaitForDialog("Message");
    ASSERT_NE(restart, nullptr) << "CMSG1 did not come up";
    ASSERT_TRUE(robot::ReadWindow(restart, &info));
    ASSERT_EQ(info.ButtonTexts(), (std::vector<std::string>{"Restart Now", "Restart Later"}));
    Repaint(restart);
    EXPECT_GT(CountInk(restart).black, 100u) << "the restart text is painted";
    EXPECT_TRUE(robot::SaveScreenshot(restart, robot::ScreenshotPath("e2e_cmsg1_restart.png")));
    ASSERT_TRUE(robot::PressButton(restart, "Restart Later"));

    ASSERT_TRUE(update.Finished(kFinishTimeoutMs));
    const std::vector<ProgressSample> samples = poller.Stop();
    EXPECT_EQ(update.result(), 1);
    EXPECT_EQ(Part(), image) << "the part holds exactly the image";
    // The driver's three write phases, in order, among what the poller saw.
    EXPECT_EQ(ProgressPoller::WritePhases(samples), (std::vector<int>{kStatusErasing, kStatusWriting, kStatusVerifying}));
    int status = -1, percent = -1, busy = -1;
    progress(&status, &percent, &busy);
    EXPECT_EQ(busy, 0);
}

TEST_F(UpdateAndSave, TheFlashSavedThroughTheSaveDialogEqualsThePart) {
    auto save_bios = Bind<SaveBiosFn>(engine_, "SaveBIOS");
    ASSERT_NE(save_bios, nullptr);
    const std::string target = scratch_->File("backup-before-update.bin");
    EngineCall save([&] { return save_bios(0, nullptr); });
    ASSERT_TRUE(save.started());

    ASSERT_NO_FATAL_FAILURE(ChooseFile("Save", target, "&Save", "e2e_save_dialog.png"));

    HWND done = WaitForDialog("Message");
    ASSERT_NE(done, nullptr) << "no completion message";
    robot::WindowInfo info;
    ASSERT_TRUE(robot::ReadWindow(done, &info));
    EXPECT_EQ(info.StaticTexts(), std::vector<std::string>{"BIOS save completed !"});
    Repaint(done);
    EXPECT_TRUE(robot::SaveScreenshot(done, robot::ScreenshotPath("e2e_save_completed.png")));
    ASSERT_TRUE(robot::PressButton(done, "OK"));

    ASSERT_TRUE(save.Finished(kFinishTimeoutMs));
    EXPECT_EQ(save.result(), 1);
    const std::string part = Part();
    ASSERT_EQ(part.size(), 0x100000u);
    EXPECT_EQ(ReadAll(target), part);
}

}  // namespace
