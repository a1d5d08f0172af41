// FlashBIOS on the simulated board: the write each plan makes for a picked and
// a given file, the dual-BIOS sequence, the dialogs and their answers, the
// restart, driver failures, path lengths, images in memory and a second
// update or save started while one runs.
#include <process.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bios_save.h"
#include "flow_fixture.h"
#include "info_exports.h"
#include "records.h"
#include "test_images.h"
#include "update_flow.h"

namespace {

using namespace test_images;

constexpr UINT kCmsg2 = 4000;
constexpr UINT kCmsg1 = 4001;

constexpr char kOpenFilter[] =
    "All Files (*.*)|*.*|BIOS file (*.bin)|*.bin|BIOS file (*.rom)|*.rom|Data file (*.dat)|*.dat||";
constexpr char kConfirmText[] =
    "#The screen will freeze for a few seconds# \n#while updating the BIOS.#\nDo you want to update the BIOS ?";
constexpr char kRebootNotice[] = "Completed! The computer will reboot.\nSave your data before pressing \"OK\".";
constexpr char kPathUnusable[] =
    "The path of the BIOS file cannot be used !\nA path must have 1 to 254 characters of the system's code page.";
constexpr char kCannotLoad[] = "Can not load ROM image from BIN file.\nMaybe BIN file size not match.";
constexpr char kOperationRunning[] = "Another BIOS update or save is running !\nPlease wait until it has ended.";


// How an interactive update ends after a good write.
enum class Ending { kRestartOffered, kRebootAnnounced };

// What the part holds after the write, from the image and the old content.
enum class Landing { kWhole, kUpperHalfOfImage, kInUpperHalf, kUnchanged };

std::string Expected(Landing landing, const std::string& image, const std::string& old) {
    switch (landing) {
    case Landing::kWhole: return image;
    case Landing::kUpperHalfOfImage: return image.substr(image.size() / 2);
    case Landing::kInUpperHalf: return old.substr(0, old.size() - image.size()) + image;
    case Landing::kUnchanged: return old;
    }
    return {};
}

class UpdateFlow : public FlowTest {
protected:
    // FlashBIOS from a picked file (source 1: the file dialog answered with
    // path, CMSG2 with OK, CMSG1 with Restart Later) or a given one (2).
    int Update(int source, const std::string& path, int loadCmos = 1) {
        if (source == kSourcePickedFile) {
            dialogs_.Choose(path);
            dialogs_.Answer({IDOK, IDCANCEL});
        }
        return FlashBIOS(source, source == kSourceGivenFile ? path.c_str() : nullptr, 1, loadCmos, 0);
    }

    std::vector<std::string> WriteCalls() const {
        return Calls({"W_Flash_Write", "W_Flash_Write_Ex", "W_Flash_Write_DualBios", "W_Flash_Write_BackupBios",
                      "ChangeDualBiosExport", "Load_CMOS_Default"});
    }

    void ExpectNoWrite() {
        EXPECT_EQ(Calls({"W_Flash_Write", "W_Flash_Write_Ex", "W_Flash_Write_DualBios", "W_Flash_Write_BackupBios"}),
                  std::vector<std::string>{});
        EXPECT_EQ(Part(), OldPart());
    }

    // A path of exactly length characters in a folder of its own under the
    // test folder; the file is created where the ANSI API can reach it.
    std::string PathOfLength(size_t length, const std::string& bytes) {
        const std::string folder = temp_.path() + std::string(100, 'd');
        CreateDirectoryA(folder.c_str(), nullptr);
        std::string path = folder + "\\";
        EXPECT_GT(length, path.size() + 4);
        path += std::string(length - path.size() - 4, 'f') + ".bin";
        if (length < MAX_PATH) WriteFileBytes(path, bytes);
        return path;
    }
};

// ------------------------------------------------------------ the write table

TEST_F(UpdateFlow, EveryPlanWritesItsImageFromAPickedAndFromAGivenFile) {
    struct Case {
        const char* name;
        int bios_type;
        uint32_t flash_size;
        const char* board_part;
        BoardFile board;
        const char* series;  // PN.INI entry of the board, nullptr: none
        std::vector<uint8_t> image;
        std::vector<std::string> calls;  // for a given file; a picked one adds nothing but the completion
        std::vector<std::string> completion_calls;  // made only when the user is there
        Ending ending;
        Landing landing;
    };
    const BoardFile adapted = {{"Flash", {{"SizeAdaptedWrites", "1"}}}};
    const std::vector<Case> cases = {
        {"award board, award image", 1, k1M, "6A69VN01", {}, nullptr, AwardImage(k1M, "6A69VN01"),
         {"W_Flash_Write length=1048576 keepDmi=1 -> 1", "Load_CMOS_Default -> 1"}, {}, Ending::kRestartOffered,
         Landing::kWhole},
        {"award board, uefi image of its series", 1, k1M, "6A69VN01", {}, "8B22QW07", UefiImage(k1M, "8B22QW07"),
         {"W_Flash_Write_Ex length=1048576 keepDmi=1 kind=1 -> 1"}, {}, Ending::kRebootAnnounced, Landing::kWhole},
        {"recognised 1 MiB board, 2 MiB image", 1, k1M, "3K41ZT01", adapted, nullptr, AwardImage(k2M, "3K41ZT01"),
         {"W_Flash_Write length=2097152 keepDmi=1 -> 1", "Load_CMOS_Default -> 1"}, {}, Ending::kRebootAnnounced,
         Landing::kUpperHalfOfImage},
        {"recognised 2 MiB board, 1 MiB image", 1, k2M, "3K41ZT01", adapted, nullptr, AwardImage(k1M, "3K41ZT01"),
         {"W_Flash_Write length=1048576 keepDmi=1 -> 1", "Load_CMOS_Default -> 1"}, {}, Ending::kRebootAnnounced,
         Landing::kInUpperHalf},
        {"recognised 2 MiB board, 2 MiB image", 1, k2M, "3K41ZT01", {}, nullptr, AwardImage(k2M, "3K41ZT01"),
         {"W_Flash_Write length=2097152 keepDmi=1 -> 1", "Load_CMOS_Default -> 1"}, {}, Ending::kRestartOffered,
         Landing::kWhole},
        {"uefi board, permission 1", 3, k1M, "8B22QW07",
         {{"Board", {{"UtilityPermission", "1"}, {"DualBios", "1"}}}}, nullptr, UefiImage(k1M, "8B22QW07"),
         {"W_Flash_Write_DualBios length=1048576 keepDmi=1 -> 1"}, {}, Ending::kRestartOffered, Landing::kWhole},
        {"uefi board, permission 2", 3, k1M, "8B22QW07", {{"Board", {{"UtilityPermission", "2"}}}}, nullptr,
         UefiImage(k1M, "8B22QW07"), {"W_Flash_Write length=1048576 keepDmi=1 -> 1"}, {}, Ending::kRestartOffered,
         Landing::kWhole},
        {"uefi board, permission 3", 3, k1M, "8B22QW07", {{"Board", {{"UtilityPermission", "3"}}}}, nullptr,
         UefiImage(k1M, "8B22QW07"), {}, {}, Ending::kRestartOffered, Landing::kUnchanged},
        {"uefi board, award image of its series", 3, k1M, "8B22QW07", {{"Board", {{"DualBios", "1"}}}}, "6A69VN01",
         AwardImage(k1M, "6A69VN01"),
         {"W_Flash_Write_Ex length=1048576 keepDmi=1 kind=2 -> 1", "ChangeDualBiosExport selector=1 -> 1",
          "W_Flash_Write_Ex length=1048576 keepDmi=1 kind=2 -> 1", "ChangeDualBiosExport selector=0 -> 0"},
         {"Load_CMOS_Default -> 1"}, Ending::kRebootAnnounced, Landing::kWhole},
    };
    for (const Case& c : cases) {
        for (int source : {kSourcePickedFile, kSourceGivenFile}) {
            SCOPED_TRACE(std::string(c.name) + (source == kSourcePickedFile ? ", picked" : ", given"));
            StartBoard(c.flash_size, c.bios_type, c.board_part, c.board);
            if (c.series != nullptr) WritePnIni(c.board_part, c.series);
            const int mode = Engine.BoardMode;
            const std::string image = Bytes(c.image);
            const std::string path = LayImage(c.image);

            EXPECT_EQ(Update(source, path), 1);

            std::vector<std::string> calls = c.calls;
            if (source == kSourcePickedFile) {
                calls.insert(calls.end(), c.completion_calls.begin(), c.completion_calls.end());
            }
            EXPECT_EQ(WriteCalls(), calls);
            EXPECT_EQ(Part(), Expected(c.landing, image, OldPart()));
            const bool dual = c.board.count("Board") != 0 && c.board.at("Board").count("DualBios") != 0;
            if (dual) {
                EXPECT_EQ(BackupPart(), image) << "both parts of a dual-BIOS board";
            }
            if (c.landing == Landing::kInUpperHalf) {
                EXPECT_EQ(Part().find(std::string(0x10000, '\0')), std::string::npos) << "never a block of zeros";
            }
            EXPECT_FLOW_IDLE(mode);
            EXPECT_EQ(Engine.CurrentFlash.FlashSize, c.flash_size);

            if (source == kSourceGivenFile) {
                EXPECT_TRUE(dialogs_.FileDialogs().empty());
                EXPECT_TRUE(dialogs_.Dialogs().empty());
                EXPECT_TRUE(boxes_.Shown().empty());
                EXPECT_TRUE(restarts_.Requests().empty());
                continue;
            }
            const std::vector<FileDialogRequest> opened = dialogs_.FileDialogs();
            ASSERT_EQ(opened.size(), 1u);
            EXPECT_TRUE(opened[0].open);
            EXPECT_EQ(opened[0].filter, kOpenFilter);
            EXPECT_EQ(opened[0].flags, DWORD(OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_EXPLORER));
            EXPECT_EQ(opened[0].defaultExtension, "");
            EXPECT_EQ(opened[0].fileName, "");
            EXPECT_EQ(opened[0].owner, nullptr);
            EXPECT_TRUE(opened[0].vistaStyle);

            const std::vector<DialogRequest> shown = dialogs_.Dialogs();
            ASSERT_GE(shown.size(), 1u);
            EXPECT_EQ(shown[0].templateId, kCmsg2);
            EXPECT_EQ(shown[0].text, kConfirmText);
            EXPECT_EQ(shown[0].caption, "Message");
            EXPECT_EQ(shown[0].owner, nullptr);
            if (c.ending == Ending::kRestartOffered) {
                EXPECT_EQ(dialogs_.DialogTemplates(), (std::vector<UINT>{kCmsg2, kCmsg1}));
                EXPECT_TRUE(boxes_.Shown().empty());
                EXPECT_TRUE(restarts_.Requests().empty()) << "Restart Later";
            } else {
                EXPECT_EQ(dialogs_.DialogTemplates(), (std::vector<UINT>{kCmsg2}));
                const std::vector<RecordedMessageBox> boxes = boxes_.Shown();
                ASSERT_EQ(boxes.size(), 1u);
                EXPECT_EQ(boxes[0].text, kRebootNotice);
                EXPECT_EQ(boxes[0].caption, "Message");
                EXPECT_EQ(boxes[0].icon, 0u);
                ASSERT_EQ(restarts_.Requests().size(), 1u);
            }
        }
    }
}

TEST_F(UpdateFlow, CmosDefaultsFollowTheCallersChoiceOnTheAwardPathOnly) {
    StartBoard(k1M, 1, "6A69VN01");
    ASSERT_EQ(Update(kSourceGivenFile, LayImage(AwardImage(k1M, "6A69VN01")), 0), 1);
    EXPECT_EQ(Calls({"Load_CMOS_Default"}), std::vector<std::string>{});

    StartBoard(k1M, 3, "8B22QW07");
    ASSERT_EQ(Update(kSourceGivenFile, LayImage(UefiImage(k1M, "8B22QW07")), 1), 1);
    EXPECT_EQ(Calls({"Load_CMOS_Default"}), std::vector<std::string>{});
}

// ------------------------------------------------------------ dual BIOS

// Stands in for the driver's ChangeDualBiosExport, one scripted answer per
// call: the call passed on to the driver or not, and the answer the engine
// gets (-1: the driver's own). Calls past the script are passed on.
struct SwitchAnswer {
    bool passed_on;
    int answer;
};
std::vector<SwitchAnswer> g_switch_answers;
std::vector<unsigned> g_switch_requests;
int(__cdecl* g_real_switch)(unsigned) = nullptr;

int __cdecl ScriptedSwitch(unsigned selector) {
    const size_t index = g_switch_requests.size();
    g_switch_requests.push_back(selector);
    const SwitchAnswer script = index < g_switch_answers.size() ? g_switch_answers[index] : SwitchAnswer{true, -1};
    const int real = script.passed_on ? g_real_switch(selector) : 0;
    return script.answer >= 0 ? script.answer : real;
}

TEST_F(UpdateFlow, AwardImageOnADualBiosUefiBoardGoesToBothPartsWhateverTheSwitchAnswers) {
    struct Case {
        const char* name;
        std::vector<SwitchAnswer> answers;
        BoardFile fail;
        int result;
        std::vector<unsigned> requests;
        const char* message;  // shown before the reboot notice, nullptr: none
        bool backup_written;
        unsigned selected_after;  // the part the driver is left on
    };
    const Case cases[] = {
        {"both switches answer", {}, {}, 1, {1, 0}, nullptr, true, 0},
        {"a selector in the low byte counts", {{true, 0x301}, {true, 0x200}}, {}, 1, {1, 0}, nullptr, true, 0},
        {"switch to the backup part refused", {{false, 0}}, {}, 1, {1}, "Flash backup BIOS failed!", false, 0},
        {"switch back to the main part refused", {{true, -1}, {false, 1}}, {}, 1, {1, 0}, "Flash main BIOS failed!",
         true, 1},
        {"the driver cannot switch at all", {}, {{"Fail", {{"ChangeDualBiosExport", "1"}}}}, 1, {1},
         "Flash backup BIOS failed!", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoardFile board = c.fail;
        board["Board"]["DualBios"] = "1";
        StartBoard(k1M, 3, "8B22QW07", board);
        WritePnIni("8B22QW07", "6A69VN01");
        g_real_switch = Engine.FlashDriver.ChangeDualBiosExport;
        Engine.FlashDriver.ChangeDualBiosExport = &ScriptedSwitch;
        g_switch_answers = c.answers;
        g_switch_requests.clear();
        const std::string image = Bytes(AwardImage(k1M, "6A69VN01"));

        EXPECT_EQ(Update(kSourcePickedFile, LayImage(AwardImage(k1M, "6A69VN01"))), c.result);
        Engine.FlashDriver.ChangeDualBiosExport = g_real_switch;

        EXPECT_EQ(g_switch_requests, c.requests);
        EXPECT_EQ(Part(), image);
        EXPECT_EQ(BackupPart(), c.backup_written ? image : OldBackupPart());
        const std::vector<std::string> texts = boxes_.Texts();
        std::vector<std::string> expected;
        if (c.message != nullptr) expected.push_back(c.message);
        expected.push_back(kRebootNotice);
        EXPECT_EQ(texts, expected);
        EXPECT_EQ(Calls({"Load_CMOS_Default"}).size(), 1u);
        EXPECT_EQ(restarts_.Requests().size(), 1u);
        // A selector the driver does not know answers with the one in force.
        EXPECT_EQ(unsigned(g_real_switch(0xFF) & 0xFF), c.selected_after);
        EXPECT_EQ(Engine.Busy.load(), 0);
    }
}

TEST_F(UpdateFlow, AFailedBackupWriteSwitchesBackToTheMainPartAndFails) {
    StartBoard(k1M, 3, "8B22QW07", {{"Board", {{"DualBios", "1"}}}});
    WritePnIni("8B22QW07", "6A69VN01");
    const std::string image = Bytes(AwardImage(k1M, "6A69VN01"));
    // The second write, the one to the backup part, fails.
    auto* real_write_ex = Engine.FlashDriver.W_Flash_Write_Ex;
    static int writes;
    writes = 0;
    static decltype(real_write_ex) forward;
    forward = real_write_ex;
    Engine.FlashDriver.W_Flash_Write_Ex = [](unsigned char* data, unsigned length, int keepDmi, int kind) -> int {
        return ++writes == 2 ? 0 : forward(data, length, keepDmi, kind);
    };
    const int result = Update(kSourcePickedFile, LayImage(AwardImage(k1M, "6A69VN01")));
    Engine.FlashDriver.W_Flash_Write_Ex = real_write_ex;

    EXPECT_EQ(result, 0);
    EXPECT_EQ(Calls({"ChangeDualBiosExport"}),
              (std::vector<std::string>{"ChangeDualBiosExport selector=1 -> 1", "ChangeDualBiosExport selector=0 -> 0"}));
    EXPECT_EQ(Part(), image);
    EXPECT_EQ(BackupPart(), OldBackupPart());
    EXPECT_TRUE(boxes_.Shown().empty()) << "a failed write has no message of the engine's own";
    EXPECT_EQ(dialogs_.DialogTemplates(), std::vector<UINT>{kCmsg2});
    EXPECT_TRUE(restarts_.Requests().empty());
    EXPECT_EQ(Engine.Busy.load(), 0);
}

// ------------------------------------------------------------ dialogs and the restart

TEST_F(UpdateFlow, CancellingAnyDialogWritesNothingAndRestoresTheBoard) {
    // The 1 MiB recognised board with a 2 MiB image: the cancelled update
    // has doubled FlashSize by the time CMSG2 asks.
    StartBoard(k1M, 1, "3K41ZT01", {{"Flash", {{"SizeAdaptedWrites", "1"}}}});
    const std::string path = LayImage(AwardImage(k2M, "3K41ZT01"));

    dialogs_.CancelFileDialog();
    EXPECT_EQ(FlashBIOS(kSourcePickedFile, nullptr, 1, 1, 0), 0);
    EXPECT_EQ(dialogs_.FileDialogs().size(), 1u);
    EXPECT_TRUE(dialogs_.Dialogs().empty());
    ExpectNoWrite();
    EXPECT_FLOW_IDLE(1);

    ClearRecords();
    dialogs_.Choose(path);
    dialogs_.Answer({IDCANCEL});
    EXPECT_EQ(FlashBIOS(kSourcePickedFile, nullptr, 1, 1, 0), 0);
    EXPECT_EQ(dialogs_.DialogTemplates(), std::vector<UINT>{kCmsg2});
    ExpectNoWrite();
    EXPECT_FLOW_IDLE(1);
    EXPECT_EQ(Engine.CurrentFlash.FlashSize, k1M);
    EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(UpdateFlow, RestartNowAsksForAForcedRestartWithTheShutdownPrivilegeHeldOnlyMeanwhile) {
    StartBoard(k1M, 1, "6A69VN01");
    ASSERT_FALSE(PrivilegeEnabled("SeShutdownPrivilege"));
    dialogs_.Choose(LayImage(AwardImage(k1M, "6A69VN01")));
    dialogs_.Answer({IDOK, IDOK});
    EXPECT_EQ(FlashBIOS(kSourcePickedFile, nullptr, 0, 0, 0), 1);

    EXPECT_EQ(dialogs_.DialogTemplates(), (std::vector<UINT>{kCmsg2, kCmsg1}));
    const std::vector<DialogRequest> shown = dialogs_.Dialogs();
    EXPECT_EQ(shown[1].caption, "Message");
    EXPECT_EQ(shown[1].text,
              "BIOS update completed! You must restart\nyour system to take new changes.\n"
              "(Reboot cycle is strongly recommended\nfor current BIOS update.)");
    const std::vector<RestartRequest> requests = restarts_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].flags, 6u);
    EXPECT_EQ(requests[0].reason, 0u);
    EXPECT_TRUE(requests[0].shutdownPrivilegeEnabled);
    EXPECT_EQ(requests[0].busy, 0);
    EXPECT_FALSE(PrivilegeEnabled("SeShutdownPrivilege")) << "disabled again";
    EXPECT_EQ(Calls({"W_Flash_Write"}), std::vector<std::string>{"W_Flash_Write length=1048576 keepDmi=0 -> 1"});
}

TEST_F(UpdateFlow, TheProgramVersionGateStopsInteractiveUpdatesOnly) {
    StartBoard(k1M, 1, "6A69VN01");
    WriteFileBytes(temp_.File("verinfo.ini"), "[PartNumber]\n0=6A69VN01\n[Version]\n0=9.0\n");
    const std::string path = LayImage(AwardImage(k1M, "6A69VN01"));
    dialogs_.Choose(path);
    EXPECT_EQ(FlashBIOS(kSourcePickedFile, nullptr, 1, 1, 0), 0);
    EXPECT_TRUE(dialogs_.FileDialogs().empty()) << "refused before the file is asked for";
    ASSERT_EQ(boxes_.Shown().size(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].text,
              "Please update Zorvik to the latest version then start updating your system BIOS.");
    EXPECT_EQ(boxes_.Shown()[0].caption, "Information ");
    ExpectNoWrite();

    ClearRecords();
    EXPECT_EQ(FlashBIOS(kSourceGivenFile, path.c_str(), 1, 1, 0), 1);
    EXPECT_TRUE(boxes_.Shown().empty());
}

// ------------------------------------------------------------ driver failures

TEST_F(UpdateFlow, AFailingDriverFunctionEndsTheUpdateWithTheBoardAsItWas) {
    struct Case {
        const char* name;
        int bios_type;
        uint32_t flash_size;
        const char* board_part;
        BoardFile board;
        const char* series;
        std::vector<uint8_t> image;
        int result;
        const char* message;  // nullptr: none
        bool written;
    };
    const char kProgramTooOld[] = "Please update Zorvik to the latest version then start updating your system BIOS.";
    const std::vector<Case> cases = {
        {"W_Flash_Write", 1, k1M, "6A69VN01", {{"Fail", {{"W_Flash_Write", "1"}}}}, nullptr,
         AwardImage(k1M, "6A69VN01"), 0, nullptr, false},
        {"W_Flash_Write in board mode 2", 1, k1M, "3K41ZT01",
         {{"Fail", {{"W_Flash_Write", "1"}}}, {"Flash", {{"SizeAdaptedWrites", "1"}}}}, nullptr,
         AwardImage(k2M, "3K41ZT01"), 0, nullptr, false},
        {"W_Flash_Write_Ex", 1, k1M, "6A69VN01", {{"Fail", {{"W_Flash_Write_Ex", "1"}}}}, "8B22QW07",
         UefiImage(k1M, "8B22QW07"), 0, nullptr, false},
        {"W_Flash_Write_DualBios", 3, k1M, "8B22QW07",
         {{"Fail", {{"W_Flash_Write_DualBios", "1"}}}, {"Board", {{"UtilityPermission", "1"}, {"DualBios", "1"}}}},
         nullptr, UefiImage(k1M, "8B22QW07"), 0, nullptr, false},
        {"IsUtilityActive", 3, k1M, "8B22QW07", {{"Fail", {{"IsUtilityActive", "1"}}}}, nullptr,
         UefiImage(k1M, "8B22QW07"), 0, kProgramTooOld, false},
        {"Load_CMOS_Default", 1, k1M, "6A69VN01", {{"Fail", {{"Load_CMOS_Default", "1"}}}}, nullptr,
         AwardImage(k1M, "6A69VN01"), 1, nullptr, true},
        {"the driver's progress", 1, k1M, "6A69VN01", {{"Fail", {{"W_Get_Progress_Status", "1"}}}}, nullptr,
         AwardImage(k1M, "6A69VN01"), 1, nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(c.flash_size, c.bios_type, c.board_part, c.board);
        if (c.series != nullptr) WritePnIni(c.board_part, c.series);
        const int mode = Engine.BoardMode;
        EXPECT_EQ(Update(kSourceGivenFile, LayImage(c.image)), c.result);
        const std::vector<std::string> texts = boxes_.Texts();
        EXPECT_EQ(texts, c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_EQ(Part(), c.written ? Bytes(c.image) : OldPart());
        EXPECT_FLOW_IDLE(mode);
        EXPECT_EQ(Engine.CurrentFlash.FlashSize, c.flash_size);
        int status = -1, percent = -1, busy = -1;
        Get_Progress_Status(&status, &percent, &busy);
        EXPECT_EQ(busy, 0);
    }
}

// ------------------------------------------------------------ bad input

TEST_F(UpdateFlow, ImagePathsOfMoreThan254CharactersAreRefusedBeforeAnyFileIsRead) {
    const std::string image = Bytes(AwardImage(k1M, "6A69VN01"));
    for (size_t length : {254u, 255u, 259u, 260u, 1000u}) {
        for (int source : {kSourcePickedFile, kSourceGivenFile}) {
            SCOPED_TRACE(std::to_string(length) + (source == kSourcePickedFile ? " picked" : " given"));
            StartBoard(k1M, 1, "6A69VN01");
            const std::string path = PathOfLength(length, image);
            ASSERT_EQ(path.size(), length);
            if (length < MAX_PATH) {
                ASSERT_EQ(ReadFileBytes(path), image) << "the file is there to be read";
            }
            const int result = Update(source, path);
            if (length == 254) {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(Part(), image);
                continue;
            }
            EXPECT_EQ(result, 0);
            ASSERT_EQ(boxes_.Shown().size(), 1u);
            EXPECT_EQ(boxes_.Shown()[0].text, kPathUnusable);
            EXPECT_EQ(boxes_.Shown()[0].icon, UINT(MB_ICONERROR));
            EXPECT_TRUE(dialogs_.Dialogs().empty()) << "nothing confirmed";
            ExpectNoWrite();
            EXPECT_FLOW_IDLE(0);
        }
    }
    // A picked file whose name the ANSI code page cannot hold comes back empty.
    ClearRecords();
    dialogs_.Choose("");
    EXPECT_EQ(FlashBIOS(kSourcePickedFile, nullptr, 1, 1, 0), 0);
    ASSERT_EQ(boxes_.Shown().size(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].text, kPathUnusable);
}

TEST_F(UpdateFlow, ImagesInMemoryAreTakenOnlyWhole) {
    StartBoard(k1M, 1, "6A69VN01");
    const std::vector<uint8_t> image = AwardImage(k1M, "6A69VN01");
    struct Case {
        const char* name;
        const uint8_t* data;
        unsigned length;
        int result;
        const char* message;
    };
    std::vector<uint8_t> longer(image);
    longer.resize(k2M + 5, 0x5A);
    const Case cases[] = {
        {"no pointer", nullptr, k1M, 0, "No BIOS image was given !"},
        {"no bytes", image.data(), 0, 0, kCannotLoad},
        {"one byte short", image.data(), k1M - 1, 0, kCannotLoad},
        {"one byte long", longer.data(), k1M + 1, 0, kCannotLoad},
        {"past any buffer of the board", longer.data(), unsigned(longer.size()), 0, kCannotLoad},
        {"the image", image.data(), k1M, 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(k1M, 1, "6A69VN01");
        EXPECT_EQ(FlashBIOS(kSourceMemory, reinterpret_cast<const char*>(c.data), 1, 0, c.length), c.result);
        const std::vector<std::string> texts = boxes_.Texts();
        EXPECT_EQ(texts, c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_EQ(Part(), c.result == 1 ? Bytes(image) : OldPart());
        EXPECT_TRUE(dialogs_.Dialogs().empty());
        EXPECT_TRUE(restarts_.Requests().empty());
        EXPECT_FLOW_IDLE(0);
    }
}

TEST_F(UpdateFlow, SourcesAndBiosTypesWithoutAnUpdateChangeNothing) {
    struct Case {
        const char* name;
        int bios_type;
        int source;
        int result;
    };
    const Case cases[] = {
        {"source below the range", 1, -1, 0},
        {"source past the range", 1, 4, 0},
        {"AMI BIOS without an update path", 2, kSourceGivenFile, 1},
        {"unknown BIOS type", 77, kSourceGivenFile, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(k1M, c.bios_type, "6A69VN01");
        const std::string path = LayImage(AwardImage(k1M, "6A69VN01"));
        EXPECT_EQ(FlashBIOS(c.source, path.c_str(), 1, 1, 0), c.result);
        EXPECT_TRUE(boxes_.Shown().empty());
        ExpectNoWrite();
        EXPECT_EQ(Engine.Busy.load(), 0);
    }
}

// ------------------------------------------------------------ one operation at a time

TEST_F(UpdateFlow, UpdatesAndSavesStartedWhileAWriteRunsAreTurnedAway) {
    StartBoard(k1M, 1, "6A69VN01");
    const std::string image = Bytes(AwardImage(k1M, "6A69VN01"));
    const std::string first = LayImage(AwardImage(k1M, "6A69VN01"));
    const std::vector<uint8_t> zeros(k1M, 0x00);
    const std::string second = LayImage(zeros, "zeros.bin");
    sim_.FlashSim_HoldAt(kStatusWriting, 50);
    std::atomic<int> first_result{-1};
    std::thread writer([&] { first_result = FlashBIOS(kSourceGivenFile, first.c_str(), 1, 0, 0); });
    ASSERT_EQ(sim_.FlashSim_WaitHeld(30000), 1);

    int status = 0, percent = 0, busy = 0;
    Get_Progress_Status(&status, &percent, &busy);
    EXPECT_EQ(status, kStatusWriting);
    EXPECT_EQ(percent, 50);
    EXPECT_EQ(busy, 1);
    EXPECT_EQ(FlashBIOS(kSourceGivenFile, second.c_str(), 1, 0, 0), 0);
    EXPECT_EQ(FlashBIOS(kSourceMemory, reinterpret_cast<const char*>(zeros.data()), 1, 0, k1M), 0);
    EXPECT_EQ(SaveBIOS(1, temp_.File("saved.bin").c_str()), 0);
    EXPECT_EQ(SaveBiosEx(0, temp_.File("saved.bin").c_str()), kSaveExReadFailed);
    EXPECT_EQ(Engine.Busy.load(), 1) << "the running write keeps its state";
    EXPECT_EQ(Engine.ProgressStatus.load(), kStatusWriting);

    sim_.FlashSim_Release();
    writer.join();
    EXPECT_EQ(first_result.load(), 1);
    EXPECT_EQ(Part(), image);
    EXPECT_EQ(Calls({"W_Flash_Write", "W_Flash_Read"}).size(), 1u) << "one driver call in all";
    EXPECT_TRUE(ReadFileBytes(temp_.File("saved.bin")).empty());
    const std::vector<std::string> texts = boxes_.Texts();
    EXPECT_EQ(texts, std::vector<std::string>(3, kOperationRunning)) << "SaveBiosEx answers with its code only";
    EXPECT_EQ(Engine.Busy.load(), 0);

    // Free again once it has ended.
    ClearRecords();
    EXPECT_EQ(SaveBIOS(1, temp_.File("saved.bin").c_str()), 1);
    EXPECT_EQ(ReadFileBytes(temp_.File("saved.bin")), image);
}

}  // namespace
