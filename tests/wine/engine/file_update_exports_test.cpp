// FlashBiosEx and FlashBiosEx1 on the simulated board: the result of every
// check, the write each permission and each write kind makes, what the parts
// hold afterwards, and a call turned away while another write runs. Neither
// export ever shows a box or a dialog or asks for a restart.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "bios_save.h"
#include "file_update_exports.h"
#include "flow_fixture.h"
#include "info_exports.h"
#include "records.h"
#include "test_images.h"
#include "update_flow.h"

namespace {

using namespace test_images;

constexpr char kPart[] = "8B22QW07";

// What the call gets as its path.
enum class Input {
    kImage,      // the case's image in a file
    kMissing,    // a file that is not there
    kShort,      // the image less its last byte
    kLong,       // the image and one byte more
    kPath254,    // the image at a path of 254 characters
    kPath255,    // the image at a path of 255 characters
    kNoPath,     // a null pointer
};

// Where the image lands.
enum Landing { kNowhere = 0, kMain = 1, kBackup = 2, kBoth = kMain | kBackup };

struct Case {
    const char* name;
    int bios_type;
    const char* board_part;
    BoardFile board;
    std::vector<uint8_t> image;
    Input input;
    int source;
    int keep_dmi;
    int write_kind;  // FlashBiosEx1 only
    uint8_t result;
    std::vector<std::string> writes;  // the driver's journal lines of its writes
    int landing;
};

BoardFile Permission(const char* permission, bool dual = true, BoardFile board = {}) {
    board["Board"]["UtilityPermission"] = permission;
    if (dual) board["Board"]["DualBios"] = "1";
    return board;
}

BoardFile Failing(const char* function, BoardFile board) {
    board["Fail"][function] = "1";
    return board;
}

std::vector<uint8_t> Image(const char* part = kPart, uint16_t year = 2020, uint8_t month = 6, uint8_t day = 1) {
    return UefiImage(k1M, part, year, month, day);
}

class FileUpdateExports : public FlowTest {
protected:
    // A path of exactly length characters in a folder of its own under the
    // test folder, holding bytes.
    std::string PathOfLength(size_t length, const std::string& bytes) {
        const std::string folder = temp_.path() + std::string(100, 'd');
        CreateDirectoryA(folder.c_str(), nullptr);
        std::string path = folder + "\\";
        EXPECT_GT(length, path.size() + 4);
        path += std::string(length - path.size() - 4, 'f') + ".bin";
        WriteFileBytes(path, bytes);
        EXPECT_EQ(ReadFileBytes(path), bytes) << "the file is there to be read";
        return path;
    }

    std::string PathFor(Input input, const std::string& image) {
        switch (input) {
        case Input::kImage: WriteFileBytes(temp_.File("new.bin"), image); return temp_.File("new.bin");
        case Input::kMissing: return temp_.File("absent.bin");
        case Input::kShort:
            WriteFileBytes(temp_.File("short.bin"), image.substr(0, image.size() - 1));
            return temp_.File("short.bin");
        case Input::kLong:
            WriteFileBytes(temp_.File("long.bin"), image + '\xFF');
            return temp_.File("long.bin");
        case Input::kPath254: return PathOfLength(254, image);
        case Input::kPath255: return PathOfLength(255, image);
        case Input::kNoPath: return {};
        }
        return {};
    }

    std::vector<std::string> WriteCalls() const {
        return Calls({"W_Flash_Write", "W_Flash_Write_Ex", "W_Flash_Write_DualBios", "W_Flash_Write_BackupBios"});
    }

    // Runs one case through FlashBiosEx1 (with its write kind) or FlashBiosEx
    // and checks everything the call leaves behind.
    void Run(const Case& c, bool withWriteKind) {
        SCOPED_TRACE(c.name);
        StartBoard(k1M, c.bios_type, c.board_part, c.board);
        const std::string image = Bytes(c.image);
        const std::string path = PathFor(c.input, image);
        const char* path_argument = c.input == Input::kNoPath ? nullptr : path.c_str();
        // What an earlier operation left in the figures.
        Engine.ProgressStatus = kStatusDownloading;
        Engine.ProgressPercent = 37;

        const uint8_t result = withWriteKind ? FlashBiosEx1(c.source, path_argument, c.keep_dmi, 0, 0, c.write_kind)
                                             : FlashBiosEx(c.source, path_argument, c.keep_dmi, 0, 0);

        EXPECT_EQ(result, c.result);
        EXPECT_EQ(WriteCalls(), c.writes);
        EXPECT_EQ(Part(), (c.landing & kMain) ? image : OldPart());
        EXPECT_EQ(BackupPart(), (c.landing & kBackup) ? image : OldBackupPart());
        if (c.bios_type == kBiosTypeAmiUefi) {
            EXPECT_EQ(Engine.ProgressStatus.load(), kStatusNone);
            EXPECT_EQ(Engine.ProgressPercent.load(), 100);
        } else {
            // Nothing done at all: no driver call, the figures as they were.
            EXPECT_EQ(Calls({"IsUtilityActive", "W_Flash_Read"}), std::vector<std::string>{});
            EXPECT_EQ(Engine.ProgressStatus.load(), kStatusDownloading);
            EXPECT_EQ(Engine.ProgressPercent.load(), 37);
        }
        EXPECT_FLOW_IDLE(0);
        EXPECT_FALSE(Engine.OperationRunning.load()) << "free for the next operation";
        EXPECT_TRUE(boxes_.Shown().empty());
        EXPECT_TRUE(dialogs_.Dialogs().empty());
        EXPECT_TRUE(dialogs_.FileDialogs().empty());
        EXPECT_TRUE(restarts_.Requests().empty());
    }
};

const std::string kWrite = "W_Flash_Write length=1048576 keepDmi=1 -> 1";
const std::string kDualWrite = "W_Flash_Write_DualBios length=1048576 keepDmi=1 -> 1";
const std::string kBackupWrite = "W_Flash_Write_BackupBios length=1048576 keepDmi=1 -> 1";

TEST_F(FileUpdateExports, FlashBiosExAnswersEveryCheckWithItsCodeAndWritesByThePermission) {
    const std::vector<Case> cases = {
        {"permission 1: both parts", 3, kPart, Permission("1"), Image(), Input::kImage, kSourceGivenFile, 1, 0,
         kFileUpdateWritten, {kDualWrite}, kBoth},
        {"permission 2: the main part", 3, kPart, Permission("2"), Image(), Input::kImage, kSourceGivenFile, 1, 0,
         kFileUpdateWritten, {kWrite}, kMain},
        {"permission 3: no write", 3, kPart, Permission("3"), Image(), Input::kImage, kSourceGivenFile, 1, 0,
         kFileUpdateWritten, {}, kNowhere},
        {"keepDmi 0 passed on", 3, kPart, Permission("1"), Image(), Input::kImage, kSourceGivenFile, 0, 0,
         kFileUpdateWritten, {"W_Flash_Write_DualBios length=1048576 keepDmi=0 -> 1"}, kBoth},
        {"keepDmi 7 passed on", 3, kPart, Permission("2"), Image(), Input::kImage, kSourceGivenFile, 7, 0,
         kFileUpdateWritten, {"W_Flash_Write length=1048576 keepDmi=7 -> 1"}, kMain},
        {"a path of 254 characters", 3, kPart, Permission("2"), Image(), Input::kPath254, kSourceGivenFile, 1, 0,
         kFileUpdateWritten, {kWrite}, kMain},
        {"protection rule allows", 3, "5R27HX9C", Permission("2"), Image("5R27HX9C", 2012, 1, 12), Input::kImage,
         kSourceGivenFile, 1, 0, kFileUpdateWritten, {kWrite}, kMain},
        {"award board: nothing done", 1, "6A69VN01", {}, AwardImage(k1M, "6A69VN01"), Input::kMissing,
         kSourceGivenFile, 1, 0, kFileUpdateWritten, {}, kNowhere},
        {"AMI board: nothing done", 2, kPart, {}, Image(), Input::kImage, kSourceGivenFile, 1, 0,
         kFileUpdateWritten, {}, kNowhere},
        {"source 0", 3, kPart, Permission("2"), Image(), Input::kImage, kSourceServer, 1, 0, kFileUpdateNotWritten,
         {}, kNowhere},
        {"source 1", 3, kPart, Permission("2"), Image(), Input::kImage, kSourcePickedFile, 1, 0,
         kFileUpdateNotWritten, {}, kNowhere},
        {"source 3", 3, kPart, Permission("2"), Image(), Input::kImage, kSourceMemory, 1, 0, kFileUpdateNotWritten,
         {}, kNowhere},
        {"missing file", 3, kPart, Permission("2"), Image(), Input::kMissing, kSourceGivenFile, 1, 0,
         kFileUpdateCannotLoad, {}, kNowhere},
        {"file one byte short", 3, kPart, Permission("2"), Image(), Input::kShort, kSourceGivenFile, 1, 0,
         kFileUpdateCannotLoad, {}, kNowhere},
        {"file one byte long", 3, kPart, Permission("2"), Image(), Input::kLong, kSourceGivenFile, 1, 0,
         kFileUpdateCannotLoad, {}, kNowhere},
        {"a path of 255 characters", 3, kPart, Permission("2"), Image(), Input::kPath255, kSourceGivenFile, 1, 0,
         kFileUpdateCannotLoad, {}, kNowhere},
        {"no path", 3, kPart, Permission("2"), Image(), Input::kNoPath, kSourceGivenFile, 1, 0,
         kFileUpdateCannotLoad, {}, kNowhere},
        {"no descriptor: an award image", 3, kPart, Permission("2"), AwardImage(k1M, kPart), Input::kImage,
         kSourceGivenFile, 1, 0, kFileUpdateNoDescriptor, {}, kNowhere},
        {"another part number", 3, kPart, Permission("2"), Image("8B22QW08"), Input::kImage, kSourceGivenFile, 1, 0,
         kFileUpdateOtherPart, {}, kNowhere},
        {"program too old", 3, kPart, {{"Board", {{"UtilityActive", "0"}}}}, Image(), Input::kImage,
         kSourceGivenFile, 1, 0, kFileUpdateProgramTooOld, {}, kNowhere},
        {"permission 0", 3, kPart, Permission("0"), Image(), Input::kImage, kSourceGivenFile, 1, 0,
         kFileUpdateRefused, {}, kNowhere},
        {"protection rule refuses", 3, "5R27HX9C", Permission("2"), Image("5R27HX9C", 2012, 1, 11), Input::kImage,
         kSourceGivenFile, 1, 0, kFileUpdateRefused, {}, kNowhere},
        {"W_Flash_Write_DualBios fails", 3, kPart, Failing("W_Flash_Write_DualBios", Permission("1")), Image(),
         Input::kImage, kSourceGivenFile, 1, 0, kFileUpdateNotWritten,
         {"W_Flash_Write_DualBios length=1048576 keepDmi=1 -> 0"}, kNowhere},
        {"W_Flash_Write fails", 3, kPart, Failing("W_Flash_Write", Permission("2")), Image(), Input::kImage,
         kSourceGivenFile, 1, 0, kFileUpdateNotWritten, {"W_Flash_Write length=1048576 keepDmi=1 -> 0"}, kNowhere},
    };
    for (const Case& c : cases) Run(c, false);
}

TEST_F(FileUpdateExports, FlashBiosEx1AnswersEveryCheckWithItsCodeAndWritesByTheCallersKind) {
    const std::vector<Case> cases = {
        {"kind 0 under permission 1", 3, kPart, Permission("1"), Image(), Input::kImage, kSourceGivenFile, 1,
         kWriteKindMain, kFileUpdateWritten, {kWrite}, kMain},
        {"kind 1 under permission 2", 3, kPart, Permission("2"), Image(), Input::kImage, kSourceGivenFile, 1,
         kWriteKindBackup, kFileUpdateWritten, {kBackupWrite}, kBackup},
        {"kind 2 under permission 2", 3, kPart, Permission("2"), Image(), Input::kImage, kSourceGivenFile, 1,
         kWriteKindDual, kFileUpdateWritten, {kDualWrite}, kBoth},
        {"kind 2 under permission 3", 3, kPart, Permission("3"), Image(), Input::kImage, kSourceGivenFile, 1,
         kWriteKindDual, kFileUpdateWritten, {kDualWrite}, kBoth},
        {"keepDmi 0 passed on", 3, kPart, Permission("2"), Image(), Input::kImage, kSourceGivenFile, 0,
         kWriteKindBackup, kFileUpdateWritten, {"W_Flash_Write_BackupBios length=1048576 keepDmi=0 -> 1"}, kBackup},
        {"award board: nothing done", 1, "6A69VN01", {}, AwardImage(k1M, "6A69VN01"), Input::kMissing,
         kSourceGivenFile, 1, kWriteKindMain, kFileUpdateWritten, {}, kNowhere},
        {"kind 3", 3, kPart, Permission("2"), Image(), Input::kImage, kSourceGivenFile, 1, 3, kFileUpdateNotWritten,
         {}, kNowhere},
        {"kind -1", 3, kPart, Permission("2"), Image(), Input::kImage, kSourceGivenFile, 1, -1,
         kFileUpdateNotWritten, {}, kNowhere},
        {"kind 3 after a refusal: the refusal", 3, kPart, Permission("0"), Image(), Input::kImage,
         kSourceGivenFile, 1, 3, kFileUpdateRefused, {}, kNowhere},
        {"source 1", 3, kPart, Permission("2"), Image(), Input::kImage, kSourcePickedFile, 1, kWriteKindMain,
         kFileUpdateNotWritten, {}, kNowhere},
        {"missing file", 3, kPart, Permission("2"), Image(), Input::kMissing, kSourceGivenFile, 1, kWriteKindMain,
         kFileUpdateCannotLoad, {}, kNowhere},
        {"a path of 255 characters", 3, kPart, Permission("2"), Image(), Input::kPath255, kSourceGivenFile, 1,
         kWriteKindMain, kFileUpdateCannotLoad, {}, kNowhere},
        {"no descriptor", 3, kPart, Permission("2"), std::vector<uint8_t>(k1M, 0xFF), Input::kImage,
         kSourceGivenFile, 1, kWriteKindMain, kFileUpdateNoDescriptor, {}, kNowhere},
        {"another part number", 3, kPart, Permission("2"), Image("8B22QW08"), Input::kImage, kSourceGivenFile, 1,
         kWriteKindMain, kFileUpdateOtherPart, {}, kNowhere},
        {"program too old", 3, kPart, Failing("IsUtilityActive", Permission("2")), Image(), Input::kImage,
         kSourceGivenFile, 1, kWriteKindMain, kFileUpdateProgramTooOld, {}, kNowhere},
        {"protection rule refuses", 3, "5R27HX9C", Permission("2"), Image("5R27HX9C", 2011, 12, 31), Input::kImage,
         kSourceGivenFile, 1, kWriteKindMain, kFileUpdateRefused, {}, kNowhere},
        {"backup write on a board with one part", 3, kPart, Permission("2", false), Image(), Input::kImage,
         kSourceGivenFile, 1, kWriteKindBackup, kFileUpdateNotWritten,
         {"W_Flash_Write_BackupBios length=1048576 keepDmi=1 -> 0"}, kNowhere},
        {"W_Flash_Write fails", 3, kPart, Failing("W_Flash_Write", Permission("2")), Image(), Input::kImage,
         kSourceGivenFile, 1, kWriteKindMain, kFileUpdateNotWritten, {"W_Flash_Write length=1048576 keepDmi=1 -> 0"},
         kNowhere},
    };
    for (const Case& c : cases) Run(c, true);
}

// ------------------------------------------------------------ one operation at a time

TEST_F(FileUpdateExports, AnUpdateStartedWhileAWriteRunsIsTurnedAwayWithoutTouchingIt) {
    StartBoard(k1M, kBiosTypeAmiUefi, kPart, Permission("2"));
    const std::string image = Bytes(Image());
    const std::string first = LayImage(Image());
    const std::string second = LayImage(Image(kPart, 2021), "second.bin");

    // While FlashBiosEx writes: neither export nor a save gets in.
    sim_.FlashSim_HoldAt(kStatusWriting, 50);
    std::atomic<int> first_result{-1};
    std::thread writer([&] { first_result = FlashBiosEx(kSourceGivenFile, first.c_str(), 1, 0, 0); });
    ASSERT_EQ(sim_.FlashSim_WaitHeld(30000), 1);
    int status = 0, percent = 0, busy = 0;
    Get_Progress_Status(&status, &percent, &busy);
    EXPECT_EQ(status, kStatusWriting);
    EXPECT_EQ(percent, 50);
    EXPECT_EQ(busy, 1);
    EXPECT_EQ(FlashBiosEx(kSourceGivenFile, second.c_str(), 1, 0, 0), kFileUpdateNotWritten);
    EXPECT_EQ(FlashBiosEx1(kSourceGivenFile, second.c_str(), 1, 0, 0, kWriteKindBackup), kFileUpdateNotWritten);
    EXPECT_EQ(SaveBiosEx(0, temp_.File("saved.bin").c_str()), kSaveExReadFailed);
    EXPECT_EQ(Engine.Busy.load(), 1) << "the running write keeps its state";
    EXPECT_EQ(Engine.ProgressStatus.load(), kStatusWriting);
    EXPECT_EQ(Engine.ProgressPercent.load(), 50);
    sim_.FlashSim_Release();
    writer.join();
    EXPECT_EQ(first_result.load(), kFileUpdateWritten);
    EXPECT_EQ(Part(), image);
    EXPECT_EQ(BackupPart(), OldBackupPart());
    EXPECT_EQ(Calls({"W_Flash_Write", "W_Flash_Write_BackupBios", "W_Flash_Read", "IsUtilityActive"}),
              (std::vector<std::string>{"IsUtilityActive length=1048576 permission=2 -> 1", kWrite}));
    EXPECT_EQ(Engine.Busy.load(), 0);

    // While FlashBIOS writes: FlashBiosEx is turned away the same way.
    StartBoard(k1M, kBiosTypeAmiUefi, kPart, Permission("2"));
    sim_.FlashSim_HoldAt(kStatusWriting, 50);
    std::atomic<int> interactive_result{-1};
    std::thread interactive([&] { interactive_result = FlashBIOS(kSourceGivenFile, first.c_str(), 1, 0, 0); });
    ASSERT_EQ(sim_.FlashSim_WaitHeld(30000), 1);
    Get_Progress_Status(&status, &percent, &busy);
    EXPECT_EQ(FlashBiosEx(kSourceGivenFile, second.c_str(), 0, 0, 0), kFileUpdateNotWritten);
    EXPECT_EQ(Engine.Busy.load(), 1);
    EXPECT_EQ(Engine.ProgressStatus.load(), kStatusWriting);
    EXPECT_EQ(Engine.ProgressPercent.load(), 50);
    sim_.FlashSim_Release();
    interactive.join();
    EXPECT_EQ(interactive_result.load(), 1);
    EXPECT_EQ(Part(), image);
    EXPECT_EQ(WriteCalls(), std::vector<std::string>{kWrite});
    EXPECT_TRUE(boxes_.Shown().empty());
    EXPECT_TRUE(dialogs_.Dialogs().empty());

    // Free again once it has ended.
    ClearRecords();
    EXPECT_EQ(FlashBiosEx(kSourceGivenFile, second.c_str(), 1, 0, 0), kFileUpdateWritten);
    EXPECT_EQ(Part(), Bytes(Image(kPart, 2021)));
}

}  // namespace
