// Vossel.dll updating from FTP servers as a host drives it, every window real:
// FlashBIOS(0) with the robot choosing a site in the site dialog and a model
// in the model dialog, reading a warning in CMSG and confirming the write;
// then the unattended check and update against the built-in servers, the
// first two of which do not answer. Every catalogue is signed and pins its
// images' digests, signed by the signing tool as the test runs; a catalogue
// changed after signing and an image that is not the one pinned are refused.
// The servers are real (the e2e_ftp fixture), the flash part is the simulated
// driver's file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue_signing.h"
#include "e2e_support.h"
#include "engine_host.h"
#include "screen_capture.h"
#include "window_robot.h"

namespace {

using namespace e2e;

constexpr char kEngineFile[] = "Vossel.dll";
constexpr char kDriverFile[] = "flash.dll";
constexpr int kListId = 4000;
constexpr int kModelNameId = 4001;

using FlashBiosFn = int(__cdecl*)(int, const char*, int, int, unsigned);
using UpdateCheckFn = int(__cdecl*)(char*, unsigned);
using CheckAuthenticatedFn = int(__cdecl*)(char*, unsigned);
using ManagedUpdateFn = int(__cdecl*)();
using DownloadStatusFn = uint8_t(__cdecl*)();
using HubProgressFn = void(__cdecl*)(int*, int*);

// A root of the e2e_ftp fixture's servers as Wine shows it.
std::string ServerRoot(const char* name) {
    const char* state = std::getenv("FTP_STATEDIR");
    if (state == nullptr) return {};
    return HostPathInWine(std::string(state) + "/" + name + "/BIOS/");
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

HWND ListOf(HWND dialog) { return GetDlgItem(dialog, kListId); }

// Picks entry index of the dialog's list and presses its OK.
bool PickEntry(HWND dialog, int index) {
    return robot::SelectListEntry(ListOf(dialog), index) && robot::PressButton(dialog, "OK");
}

class ServerUpdate : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchDir();
        ASSERT_TRUE(scratch_->ok());
        ASSERT_FALSE(ServerRoot("site").empty()) << "FTP_STATEDIR is not set: the e2e_ftp fixture did not run";
        for (const char* server : {"site", "builtin3"}) CreateDirectoryA(ServerRoot(server).c_str(), nullptr);
        for (const char* file : {kEngineFile, kDriverFile}) {
            ASSERT_TRUE(CopyFileA((ProgramDir() + file).c_str(), scratch_->File(file).c_str(), FALSE));
        }
        WriteBytes(scratch_->File("flashsim.ini"),
                   "[Flash]\r\nFlashSize=0x100000\r\nContent=flash.bin\r\n"
                   "[Bios]\r\nBiosType=1\r\nBiosPartNumber=6A69VN01\r\n"
                   "SignOnMessage=NORVANE 6A69VN01 Award Modular BIOS v6.00PG F5\r\n"
                   "[Timing]\r\nPhaseMillis=150\r\n[Journal]\r\nPath=flashsim.log\r\n");
        WriteBytes(scratch_->File("config.ini"),
                   "[SERVER]\r\n0=Norvane (local)\r\n1=Norvane (backup)\r\n"
                   "[0]\r\nAddress=127.0.0.31\r\nDirectory=//BIOS\r\n"
                   "[1]\r\nAddress=127.0.0.39\r\nDirectory=//BIOS\r\n");
        // A host of the engine works in the engine's folder.
        SetCurrentDirectoryA(scratch_->path().c_str());
        engine_ = LoadLibraryA(scratch_->File(kEngineFile).c_str());
        ASSERT_NE(engine_, nullptr);
    }
    static void TearDownTestSuite() {
        SetCurrentDirectoryA(ProgramDir().c_str());
        if (engine_ != nullptr) FreeLibrary(engine_);
        engine_ = nullptr;
        delete scratch_;
        scratch_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(engine_, nullptr); }
    // The servers' folders are shared with later tests, which serve unsigned
    // catalogues: no signature of this test stays behind.
    void TearDown() override {
        for (const char* server : {"site", "builtin3"}) DeleteFileA((ServerRoot(server) + "bios.ini.sig").c_str());
    }

    static std::string MakeImage(const char* filler) {
        return MakeAwardImage(scratch_->File(std::string("image-") + filler + ".bin"), filler);
    }
    static std::string Part() { return ReadAll(scratch_->File("flash.bin")); }

    // Serves catalogue in the server's folder with the tool's digest lines
    // for images (entry, bytes) appended, and its signature by the test key.
    static std::string ServeSigned(const char* server, std::string catalogue,
                                   const std::vector<std::pair<int, std::string>>& images) {
        std::string problem;
        for (const auto& image : images) {
            std::string line;
            EXPECT_TRUE(catalogue_signing::DigestLine(image.second, image.first, scratch_->path(), &line, &problem))
                << problem;
            catalogue += line;
        }
        std::string signature;
        EXPECT_TRUE(catalogue_signing::Sign(catalogue, catalogue_signing::TestKey(), scratch_->path(), &signature,
                                            &problem))
            << problem;
        WriteBytes(ServerRoot(server) + "bios.ini", catalogue);
        WriteBytes(ServerRoot(server) + "bios.ini.sig", signature);
        return catalogue;
    }

    static ScratchDir* scratch_;
    static HMODULE engine_;
};

ScratchDir* ServerUpdate::scratch_ = nullptr;
HMODULE ServerUpdate::engine_ = nullptr;

TEST_F(ServerUpdate, SiteAndModelArePickedInTheRealDialogsAndTheServedImageIsWritten) {
    const std::string image = MakeImage("0x3C");
    const std::string catalogue = ServeSigned(
        "site",
        "[6A69VN01]\r\nNAME=GA-7X Rev 2\r\n0=GA-7X Rev 2 F6 (beta)\r\n1=GA-7X Rev 2 F6\r\n"
        "WARN0=9.99\r\nWMSG00=#This beta BIOS needs a newer Zorvik.#\r\nWMSG01=Please choose the release.\r\n"
        "WMSG0TITLE=Beta BIOS\r\n",
        {{1, image}});
    WriteBytes(ServerRoot("site") + "6a69vn01.1", image);
    ASSERT_NE(Part(), image);

    auto flash_bios = Bind<FlashBiosFn>(engine_, "FlashBIOS");
    auto progress = Bind<ProgressFn>(engine_, "Get_Progress_Status");
    ASSERT_NE(flash_bios, nullptr);
    ASSERT_NE(progress, nullptr);
    ProgressPoller poller(ProgressPoller::EngineProgress(progress));
    EngineCall update([&] { return flash_bios(0, "c:\\NoFile", 1, 0, 0); });

    // The site dialog lists config.ini's sites.
    HWND sites = WaitForDialog("Please select Zorvik server site");
    ASSERT_NE(sites, nullptr) << "the site dialog did not come up";
    EXPECT_EQ(robot::ReadListEntries(ListOf(sites)),
              (std::vector<std::string>{"Norvane (local)", "Norvane (backup)"}));
    ASSERT_TRUE(robot::SelectListEntry(ListOf(sites), 0));
    Repaint(sites);
    EXPECT_TRUE(robot::SaveScreenshot(sites, robot::ScreenshotPath("e2e_server_site_dialog.png")));
    ASSERT_TRUE(robot::PressButton(sites, "OK"));

    // The model dialog lists the board's entries of the served catalogue.
    HWND models = WaitForDialog("Please select one file to update");
    ASSERT_NE(models, nullptr) << "the model dialog did not come up";
    EXPECT_EQ(robot::ReadText(GetDlgItem(models, kModelNameId)), "Model Name : GA-7X Rev 2");
    EXPECT_EQ(robot::ReadListEntries(ListOf(models)),
              (std::vector<std::string>{"GA-7X Rev 2 F6 (beta)", "GA-7X Rev 2 F6"}));
    ASSERT_TRUE(robot::SelectListEntry(ListOf(models), 0));
    Repaint(models);
    EXPECT_TRUE(robot::SaveScreenshot(models, robot::ScreenshotPath("e2e_server_model_dialog.png")));
    ASSERT_TRUE(robot::PressButton(models, "OK"));

    // The beta needs a newer program: its warning, read and closed, leads
    // back to the list.
    HWND warning = WaitForDialog("Beta BIOS");
    ASSERT_NE(warning, nullptr) << "the warning did not come up";
    Repaint(warning);
    const InkCount ink = CountInk(warning);
    EXPECT_GT(ink.red, 100u) << "the marked line is red";
    EXPECT_GT(ink.black, 50u);
    EXPECT_TRUE(robot::SaveScreenshot(warning, robot::ScreenshotPath("e2e_server_warning.png")));
    ASSERT_TRUE(robot::RequestClose(warning));
    ASSERT_TRUE(WaitUntilGone(warning));
    ASSERT_TRUE(IsWindow(models)) << "closing the warning returns to the list";
    ASSERT_TRUE(PickEntry(models, 1));

    HWND confirm = WaitForDialog("Message");
    ASSERT_NE(confirm, nullptr) << "CMSG2 did not come up";
    robot::WindowInfo info;
    ASSERT_TRUE(robot::ReadWindow(confirm, &info));
    ASSERT_EQ(info.ButtonTexts(), (std::vector<std::string>{"OK", "Cancel"}));
    ASSERT_TRUE(robot::PressButton(confirm, "OK"));
    ASSERT_TRUE(WaitUntilGone(confirm));
    HWND restart = WaitForDialog("Message");
    ASSERT_NE(restart, nullptr) << "CMSG1 did not come up";
    ASSERT_TRUE(robot::PressButton(restart, "Restart Later"));

    ASSERT_TRUE(update.Finished(kFinishTimeoutMs));
    const std::vector<ProgressSample> samples = poller.Stop();
    EXPECT_EQ(update.result(), 1);
    EXPECT_EQ(Part(), image);
    EXPECT_EQ(ReadAll(scratch_->File("6a69vn01.1")), image) << "the download is kept beside the engine";
    EXPECT_EQ(ReadAll(scratch_->File("bios.ini")), catalogue);
    // The download shows as the engine's own percentages with no driver
    // phase; the write then shows the driver's phases.
    bool download_seen = false;
    for (const ProgressSample& sample : samples) {
        if (sample.busy == 1 && sample.status == 0 && sample.percent < 100) download_seen = true;
    }
    EXPECT_TRUE(download_seen);
    EXPECT_EQ(ProgressPoller::WritePhases(samples), (std::vector<int>{kStatusErasing, kStatusWriting, kStatusVerifying}));
}

TEST_F(ServerUpdate, TheUnattendedUpdateFindsTheThirdBuiltInServerAndWritesItsImage) {
    const std::string image = MakeImage("0x77");
    ServeSigned("builtin3", "[6A69VN01]\r\nNAME=GA-7X Rev 2\r\n0=GA-7X Rev 2 F7\r\n", {{0, image}});
    WriteBytes(ServerRoot("builtin3") + "6a69vn01.0", image);
    auto check = Bind<UpdateCheckFn>(engine_, "BiosUpdateCheck");
    auto authenticated = Bind<CheckAuthenticatedFn>(engine_, "BiosUpdateCheckAuthenticated");
    ASSERT_NE(authenticated, nullptr);
    auto update = Bind<ManagedUpdateFn>(engine_, "UpdateBiosByUpdateManager");
    auto download_status = Bind<DownloadStatusFn>(engine_, "DownloadStatusForUpdateManager");
    auto hub_progress = Bind<HubProgressFn>(engine_, "GetProgressStatusForHubrix");
    ASSERT_TRUE(check && update && download_status && hub_progress);

    char text[64];
    std::memset(text, '#', sizeof text);
    ASSERT_EQ(check(text, sizeof text), 1);
    EXPECT_EQ(std::string(text, 16), "GA-7X Rev 2 F7##") << "the text without a terminator";
    char digest[65] = {};
    EXPECT_EQ(authenticated(digest, sizeof digest), 1);
    EXPECT_EQ(std::strlen(digest), 64u);
    EXPECT_EQ(download_status(), 0);

    ProgressPoller poller([&] {
        ProgressSample sample{-1, -1, download_status()};
        hub_progress(&sample.status, &sample.percent);
        return sample;
    });
    EXPECT_EQ(update(), 0);
    const std::vector<ProgressSample> samples = poller.Stop();
    EXPECT_EQ(download_status(), 2);
    EXPECT_EQ(Part(), image);
    // busy carries the download status here: 1 while downloading, with the
    // hub's status 1; then 2 with the driver's phases.
    bool downloading = false, writing = false;
    for (const ProgressSample& sample : samples) {
        if (sample.busy == 1 && sample.status == kStatusSaving) downloading = true;
        if (sample.busy == 2 && sample.status == kStatusWriting) writing = true;
    }
    EXPECT_TRUE(downloading);
    EXPECT_TRUE(writing);
    EXPECT_TRUE(robot::FindWindows({std::nullopt, std::nullopt, GetCurrentProcessId()}).empty())
        << "no window of the unattended update";
}

TEST_F(ServerUpdate, ACatalogueChangedAfterSigningAndAnImageThatIsNotPinnedAreRefused) {
    const std::string before = Part();
    const std::string image = MakeImage("0x5B");
    std::string changed = ServeSigned("site", "[6A69VN01]\r\nNAME=GA-7X Rev 2\r\n0=GA-7X Rev 2 F6\r\n", {{0, image}});
    changed[changed.find("F6")] = 'F' + 1;
    WriteBytes(ServerRoot("site") + "bios.ini", changed);
    WriteBytes(ServerRoot("site") + "6a69vn01.0", image);
    const std::string previous = "[6A69VN01]\r\n0=kept from before\r\n";
    WriteBytes(scratch_->File("bios.ini"), previous);

    auto flash_bios = Bind<FlashBiosFn>(engine_, "FlashBIOS");
    ASSERT_NE(flash_bios, nullptr);
    EngineCall update([&] { return flash_bios(0, "c:\\NoFile", 1, 0, 0); });
    HWND sites = WaitForDialog("Please select Zorvik server site");
    ASSERT_NE(sites, nullptr) << "the site dialog did not come up";
    ASSERT_TRUE(PickEntry(sites, 0));
    HWND refusal = WaitForDialog("ERROR");
    ASSERT_NE(refusal, nullptr) << "no message about the catalogue";
    robot::WindowInfo info;
    ASSERT_TRUE(robot::ReadWindow(refusal, &info));
    EXPECT_EQ(info.StaticTexts(),
              std::vector<std::string>{"The \"bios.ini\" file in \"127.0.0.31\" Zorvik server has a signature that "
                                       "does not verify.\nThe server was not used. Nothing was written."});
    EXPECT_TRUE(robot::SaveScreenshot(refusal, robot::ScreenshotPath("e2e_server_catalogue_refused.png")));
    ASSERT_TRUE(robot::PressButton(refusal, "OK"));
    ASSERT_TRUE(update.Finished(kFinishTimeoutMs));
    EXPECT_EQ(update.result(), 0);
    EXPECT_EQ(Part(), before);
    EXPECT_EQ(ReadAll(scratch_->File("bios.ini")), previous) << "the refused catalogue is not kept";

    // The unattended update: a signed catalogue, and an image changed after signing.
    ServeSigned("builtin3", "[6A69VN01]\r\nNAME=GA-7X Rev 2\r\n0=GA-7X Rev 2 F7\r\n", {{0, image}});
    std::string tampered = image;
    tampered[0x4000] = char(tampered[0x4000] ^ 0x10);
    WriteBytes(ServerRoot("builtin3") + "6a69vn01.0", tampered);
    auto check = Bind<UpdateCheckFn>(engine_, "BiosUpdateCheck");
    auto managed = Bind<ManagedUpdateFn>(engine_, "UpdateBiosByUpdateManager");
    ASSERT_TRUE(check && managed);
    ASSERT_EQ(check(nullptr, 0), 1);
    EXPECT_EQ(managed(), 13);
    EXPECT_EQ(Part(), before);
}

}  // namespace
