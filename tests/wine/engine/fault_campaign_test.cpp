// A seeded fault campaign over every export that writes or saves the part:
// each round picks an export, a board (and with it the board mode), and one
// driver failure: a driver function that fails as a whole, or a read or write
// that fails on reaching a random point of a random phase. Whatever happens:
//
//   - a result of success means the part holds exactly the image (or the file
//     exactly the part), and the parts are otherwise as they were;
//   - any other result is one of the export's failure results, a save that
//     failed left the file it was to replace as it was, and a failure that
//     could not have reached the part left the part as it was;
//   - Busy is 0, the board mode and the flash size are the part's own again,
//     the operation guard is free for this process and for every other one,
//     and the next operation works.
//
// Boards that take size-adapted writes take them in one of the three ways a
// driver may read such a call, chosen each round.
//
// VOSSEL_CAMPAIGN_SEED replays a run (the seed is printed with every
// failure), VOSSEL_CAMPAIGN_ROUNDS sets its length (bench/run-fault-soak.sh
// runs long ones).
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bios_save.h"
#include "exclusive_operation.h"
#include "file_update_exports.h"
#include "flow_fixture.h"
#include "flow_messages.h"
#include "ftp_servers.h"
#include "info_exports.h"
#include "records.h"
#include "test_images.h"
#include "update_flow.h"
#include "update_manager.h"

namespace {

using namespace test_images;

constexpr unsigned kDefaultRounds = 300;

// The boards of the campaign, one per board mode and write plan.
enum class Board { kAward, kEnlarged, kUpperHalf, kUefiDual, kUefiAwardImage };

struct CampaignBoard {
    Board board;
    const char* name;
    uint32_t part_size;
    int bios_type;
    const char* part_number;
    const char* series;  // PN.INI entry, nullptr: none
    BoardFile keys;
    uint32_t image_size;
    const char* image_part;
    bool uefi_image;
    bool dual;  // a write lands on both parts
};

const CampaignBoard kBoards[] = {
    {Board::kAward, "award 1 MiB, mode 0", k1M, kBiosTypeAward, "6A69VN01", nullptr, {}, k1M, "6A69VN01", false,
     false},
    {Board::kEnlarged, "recognised 1 MiB part, 2 MiB image, mode 2", k1M, kBiosTypeAward, "3K41ZT01", nullptr,
     {{"Flash", {{"SizeAdaptedWrites", "1"}}}}, k2M, "3K41ZT01", false, false},
    {Board::kUpperHalf, "recognised 2 MiB part, 1 MiB image, mode 3", k2M, kBiosTypeAward, "3K41ZT01", nullptr,
     {{"Flash", {{"SizeAdaptedWrites", "1"}}}}, k1M, "3K41ZT01", false, false},
    {Board::kUefiDual, "uefi dual BIOS, permission 1", k1M, kBiosTypeAmiUefi, "8B22QW07", nullptr,
     {{"Board", {{"UtilityPermission", "1"}, {"DualBios", "1"}}}}, k1M, "8B22QW07", true, true},
    {Board::kUefiAwardImage, "uefi dual BIOS, award image of its series", k1M, kBiosTypeAmiUefi, "8B22QW07",
     "6A69VN01", {{"Board", {{"DualBios", "1"}}}}, k1M, "6A69VN01", false, true},
};

// One driver failure. A function named fails as a whole; a status makes the
// first read or write reaching (status, percent) fail there.
struct Fault {
    std::string function;
    int status = 0;
    int percent = 0;
    std::string flash_key;  // a [Flash] key set to flash_value
    std::string flash_value;

    std::string Describe() const {
        if (!function.empty()) return "[Fail] " + function + "=1";
        if (status != 0) return "[Fail] AtStatus=" + std::to_string(status) + " AtPercent=" + std::to_string(percent);
        if (!flash_key.empty()) return "[Flash] " + flash_key + "=" + flash_value;
        return "no fault";
    }
    // Whether the fault can leave the part changed while the export reports
    // a failure (a write that broke off).
    bool InWrite() const {
        return function.rfind("W_Flash_Write", 0) == 0 || status == kStatusErasing || status == kStatusWriting ||
               status == kStatusVerifying;
    }
};

const char* const kFailingFunctions[] = {
    "W_Flash_Read",          "W_Flash_Write",      "W_Flash_Write_DualBios", "W_Flash_Write_BackupBios",
    "W_Flash_Write_Ex",      "W_Get_Progress_Status", "IsUtilityActive",     "Load_CMOS_Default",
    "ChangeDualBiosExport",  "W_Support_ENL",      "W_Enable_ENL",           "EpCheckOemid",
};
const int kPhaseStatuses[] = {kStatusReading, kStatusErasing, kStatusWriting, kStatusVerifying};

// Faults given by the board file's [Flash] section: a read that reports
// success but delivers half the part, with the count of that half or with
// the rest of the buffer zeroed and the part's count.
const std::pair<const char*, const char*> kFlashFaults[] = {
    {"ShortReads", "count"},
    {"ShortReads", "zeros"},
};

Fault PickFault(std::mt19937& random) {
    Fault fault;
    switch (std::uniform_int_distribution<int>(0, 9)(random)) {
    case 0: return fault;  // none: the export works
    case 1: case 2: case 3: case 4:
        fault.function = kFailingFunctions[std::uniform_int_distribution<size_t>(
            0, std::size(kFailingFunctions) - 1)(random)];
        return fault;
    case 9: {
        const auto& row = kFlashFaults[std::uniform_int_distribution<size_t>(0, std::size(kFlashFaults) - 1)(random)];
        fault.flash_key = row.first;
        fault.flash_value = row.second;
        return fault;
    }
    default:
        fault.status = kPhaseStatuses[std::uniform_int_distribution<size_t>(0, std::size(kPhaseStatuses) - 1)(random)];
        fault.percent = std::uniform_int_distribution<int>(0, 100)(random);
        return fault;
    }
}

// The exports of the campaign.
enum class Export {
    kFlashPicked, kFlashGiven, kFlashMemory, kFlashBiosEx, kFlashBiosEx1, kUpdateManager, kSaveDialog, kSavePath,
    kSaveEx,
};
struct CampaignExport {
    Export export_;
    const char* name;
    std::vector<Board> boards;
};
const CampaignExport kExports[] = {
    {Export::kFlashPicked, "FlashBIOS(1)",
     {Board::kAward, Board::kEnlarged, Board::kUpperHalf, Board::kUefiDual, Board::kUefiAwardImage}},
    {Export::kFlashGiven, "FlashBIOS(2)",
     {Board::kAward, Board::kEnlarged, Board::kUpperHalf, Board::kUefiDual, Board::kUefiAwardImage}},
    {Export::kFlashMemory, "FlashBIOS(3)",
     {Board::kAward, Board::kEnlarged, Board::kUpperHalf, Board::kUefiDual, Board::kUefiAwardImage}},
    {Export::kFlashBiosEx, "FlashBiosEx", {Board::kUefiDual}},
    {Export::kFlashBiosEx1, "FlashBiosEx1", {Board::kUefiDual}},
    {Export::kUpdateManager, "UpdateBiosByUpdateManager",
     {Board::kAward, Board::kEnlarged, Board::kUpperHalf, Board::kUefiDual}},
    {Export::kSaveDialog, "SaveBIOS(0)", {Board::kAward, Board::kUpperHalf, Board::kUefiDual}},
    {Export::kSavePath, "SaveBIOS(1)", {Board::kAward, Board::kUpperHalf, Board::kUefiDual}},
    {Export::kSaveEx, "SaveBiosEx", {Board::kAward, Board::kUpperHalf, Board::kUefiDual}},
};

bool IsSave(Export e) { return e == Export::kSaveDialog || e == Export::kSavePath || e == Export::kSaveEx; }

unsigned EnvironmentNumber(const char* name, unsigned fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? static_cast<unsigned>(std::strtoul(text, nullptr, 0)) : fallback;
}

class FaultCampaign : public FlowTest {
protected:
    void SetUp() override {
        FlowTest::SetUp();
        std::string problem;
        ASSERT_TRUE(servers_.Load(&problem)) << problem;
    }

    // The board file with the fault added, or without it.
    std::string WriteBoard(const CampaignBoard& board_case, const Fault* fault, const char* name) {
        BoardFile board = Keys(board_case);
        board["Flash"]["FlashSize"] = std::to_string(board_case.part_size);
        board["Flash"]["Content"] = temp_.File("flash.bin");
        board["Bios"]["BiosType"] = std::to_string(board_case.bios_type);
        board["Bios"]["BiosPartNumber"] = board_case.part_number;
        board["Journal"]["Path"] = temp_.File("journal.log");
        if (fault != nullptr) {
            if (!fault->function.empty()) board["Fail"][fault->function] = "1";
            if (fault->status != 0) {
                board["Fail"]["AtStatus"] = std::to_string(fault->status);
                board["Fail"]["AtPercent"] = std::to_string(fault->percent);
            }
            if (!fault->flash_key.empty()) board["Flash"][fault->flash_key] = fault->flash_value;
        }
        WriteBoardFile(temp_.File(name), board);
        return temp_.File(name);
    }

    // The board's keys, with the round's reading of a size-adapted write.
    BoardFile Keys(const CampaignBoard& board_case) const {
        BoardFile keys = board_case.keys;
        if (keys.count("Flash") != 0 && keys["Flash"].count("SizeAdaptedWrites") != 0) {
            keys["Flash"]["SizeAdaptedWrites"] = reading_;
        }
        return keys;
    }

    // One round; failures carry the round's description.
    void Round(const CampaignExport& e, const CampaignBoard& board_case, const Fault& fault, std::mt19937& random) {
        StartBoard(board_case.part_size, board_case.bios_type, board_case.part_number, Keys(board_case));
        if (board_case.series != nullptr) WritePnIni(board_case.part_number, board_case.series);
        const int32_t mode = Engine.BoardMode;
        const std::vector<uint8_t> image_bytes = board_case.uefi_image ? UefiImage(board_case.image_size, board_case.image_part)
                                                                 : AwardImage(board_case.image_size, board_case.image_part);
        const std::string image = Bytes(image_bytes);
        const std::string path = LayImage(image_bytes);
        const std::string target = temp_.File("saved.bin");
        const std::string previous_save = "an older save";
        WriteFileBytes(target, previous_save);
        const std::string clean_board = WriteBoard(board_case, nullptr, "clean.ini");
        ASSERT_EQ(sim_.FlashSim_LoadBoard(WriteBoard(board_case, &fault, "faulty.ini").c_str()), 1)
            << sim_.FlashSim_LastError();
        int write_kind = kWriteKindMain;

        int result = -1;
        int success = 0;
        std::vector<int> failures;
        switch (e.export_) {
        case Export::kFlashPicked:
            dialogs_.Choose(path);
            dialogs_.Answer({IDOK, IDCANCEL});
            result = FlashBIOS(kSourcePickedFile, nullptr, 1, 1, 0);
            success = 1;
            failures = {0};
            break;
        case Export::kFlashGiven:
            result = FlashBIOS(kSourceGivenFile, path.c_str(), 1, 1, 0);
            success = 1;
            failures = {0};
            break;
        case Export::kFlashMemory:
            result = FlashBIOS(kSourceMemory, image.data(), 1, 1, static_cast<unsigned>(image.size()));
            success = 1;
            failures = {0};
            break;
        case Export::kFlashBiosEx:
            result = FlashBiosEx(kSourceGivenFile, path.c_str(), 1, 0, 0);
            failures = {kFileUpdateNotWritten, kFileUpdateProgramTooOld, kFileUpdateRefused};
            break;
        case Export::kFlashBiosEx1:
            write_kind = std::uniform_int_distribution<int>(kWriteKindMain, kWriteKindDual)(random);
            result = FlashBiosEx1(kSourceGivenFile, path.c_str(), 1, 0, 0, write_kind);
            failures = {kFileUpdateNotWritten, kFileUpdateProgramTooOld, kFileUpdateRefused};
            break;
        case Export::kUpdateManager:
            for (const char* server : {"builtin2", "builtin3", "builtin4"}) servers_.ClearBiosFolder(server);
            {
                std::string name = std::string(board_case.image_part) + ".0";
                for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
                servers_.Serve("builtin3", name, image);
            }
            lstrcpynA(Engine.CurrentServer, "127.0.0.13", sizeof Engine.CurrentServer);
            result = UpdateBiosByUpdateManager();
            failures = {kUpdateProgramTooOld, kUpdateRefusedByBoard, kUpdateWriteFailed};
            break;
        case Export::kSaveDialog:
            dialogs_.Choose(target);
            result = SaveBIOS(0, nullptr);
            success = 1;
            failures = {0};
            break;
        case Export::kSavePath:
            result = SaveBIOS(1, target.c_str());
            success = 1;
            failures = {0};
            break;
        case Export::kSaveEx:
            result = SaveBiosEx(0, target.c_str());
            failures = {kSaveExReadFailed, kSaveExWriteFailed};
            break;
        }

        const std::string part = Part();
        const std::string backup = BackupPart();
        if (fault.Describe() == "no fault") EXPECT_EQ(result, success) << "a working driver";
        if (result == success) {
            if (IsSave(e.export_)) {
                // A read whose missing half the driver fills with zeros and
                // reports whole cannot be told from a part that holds zeros
                // there (a second read gives the same bytes): the save holds
                // what the driver delivered.
                const bool zero_tailed = fault.flash_key == "ShortReads" && fault.flash_value == "zeros";
                EXPECT_TRUE(zero_tailed || ReadFileBytes(target) == part) << "a save reported done holds exactly the part";
                EXPECT_TRUE(part == OldPart());
            } else {
                const bool main_written = !(e.export_ == Export::kFlashBiosEx1 && write_kind == kWriteKindBackup);
                // The unattended update writes the part in force only.
                bool backup_written = board_case.dual && e.export_ != Export::kUpdateManager &&
                                      (e.export_ != Export::kFlashBiosEx1 || write_kind != kWriteKindMain);
                // An Award image on a UEFI board: a switch to the backup part
                // that fails is told in its own message, and the update
                // counts as done with the main part written.
                const std::vector<std::string> texts = boxes_.Texts();
                if (board_case.board == Board::kUefiAwardImage &&
                    std::find(texts.begin(), texts.end(), vossel::kMsgFlashBackupFailed.text) != texts.end()) {
                    backup_written = false;
                }
                std::string expected_main = image;
                if (board_case.image_size > board_case.part_size) expected_main = image.substr(image.size() - board_case.part_size);
                if (board_case.image_size < board_case.part_size) {
                    EXPECT_TRUE(part.substr(board_case.part_size - board_case.image_size) == image)
                        << "the image in the part's upper half";
                    const std::string lower = part.substr(0, board_case.part_size - board_case.image_size);
                    EXPECT_TRUE(lower == OldPart().substr(0, lower.size()) || lower == image)
                        << "the lower half as it was, or the image";
                } else {
                    EXPECT_TRUE(part == (main_written ? expected_main : OldPart())) << "a write reported done";
                }
                EXPECT_TRUE(backup == (backup_written ? expected_main : OldBackupPart()))
                    << "the backup part after a write reported done";
            }
        } else {
            EXPECT_NE(std::find(failures.begin(), failures.end(), result), failures.end())
                << "result " << result << " is none of the export's results";
            if (!fault.InWrite()) {
                EXPECT_TRUE(part == OldPart()) << "a failure that reached no write left the part";
                EXPECT_TRUE(backup == OldBackupPart()) << "a failure that reached no write left the backup part";
            }
            if (IsSave(e.export_)) EXPECT_EQ(ReadFileBytes(target), previous_save) << "the older save is kept";
        }

        EXPECT_EQ(Engine.Busy.load(), 0);
        EXPECT_EQ(Engine.BoardMode, mode);
        EXPECT_EQ(Engine.CurrentFlash.FlashSize, board_case.part_size);
        EXPECT_FALSE(Engine.OperationRunning.load());
        EXPECT_TRUE(GuardFreeForAnotherThread());

        // The next operation works once the driver does.
        ASSERT_EQ(sim_.FlashSim_LoadBoard(clean_board.c_str()), 1) << sim_.FlashSim_LastError();
        dialogs_.Clear();
        const std::string after = temp_.File("after.bin");
        EXPECT_EQ(SaveBiosEx(0, after.c_str()), kSaveExWritten);
        EXPECT_TRUE(ReadFileBytes(after) == Part()) << "the next save holds the part";
        DeleteFileA(after.c_str());
    }

    FtpServers servers_;
    std::string reading_ = "top";
};

// The three ways a driver may take a write of half the part's size.
const char* const kSizeAdaptedReadings[] = {"top", "upper", "whole"};

TEST_F(FaultCampaign, EveryWriteAndSaveTellsTheTruthUnderDriverFailures) {
    const unsigned seed = EnvironmentNumber("VOSSEL_CAMPAIGN_SEED", std::random_device{}());
    const unsigned rounds = EnvironmentNumber("VOSSEL_CAMPAIGN_ROUNDS", kDefaultRounds);
    std::mt19937 random(seed);
    std::printf("fault campaign: seed %u, %u rounds (VOSSEL_CAMPAIGN_SEED=%u replays it)\n", seed, rounds, seed);
    for (unsigned round = 0; round < rounds; ++round) {
        const CampaignExport& e = kExports[std::uniform_int_distribution<size_t>(0, std::size(kExports) - 1)(random)];
        const Board board = e.boards[std::uniform_int_distribution<size_t>(0, e.boards.size() - 1)(random)];
        const CampaignBoard* board_case = nullptr;
        for (const CampaignBoard& each : kBoards) {
            if (each.board == board) board_case = &each;
        }
        const Fault fault = PickFault(random);
        reading_ = kSizeAdaptedReadings[std::uniform_int_distribution<size_t>(0, std::size(kSizeAdaptedReadings) - 1)(random)];
        // Every failure names the seed and the round that replay it.
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round) + ": " + e.name + " on " +
                     board_case->name + " (size-adapted writes: " + reading_ + "), " + fault.Describe());
        Round(e, *board_case, fault, random);
        if (HasFatalFailure()) break;
    }
}

}  // namespace
