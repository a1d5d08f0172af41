// The checks without a write and the read-back comparison: every refusal of
// FlashBIOS named by its check and text, no window ever, the board mode as it
// was; a part compared with what FlashBIOS writes of a file, a failing part
// included.
#include <string>
#include <vector>

#include "checked_update.h"
#include "flow_fixture.h"
#include "test_images.h"
#include "update_flow.h"

namespace {

using namespace test_images;

class CheckedUpdate : public FlowTest {
protected:
    VosselImageCheck Check(const std::string& path) {
        VosselImageCheck result = {};
        result.size = sizeof result;
        CheckBiosImage(path.c_str(), &result);
        return result;
    }
};

TEST_F(CheckedUpdate, EveryCheckOfAnUpdateIsNamedWithItsRefusalAndNothingIsShown) {
    struct Case {
        const char* name;
        int bios_type;
        uint32_t flash_size;
        const char* board_part;
        BoardFile board;
        std::vector<uint8_t> image;  // empty: no file
        int writable;
        VosselCheck failed;
        VosselPlan plan;
        int board_mode;        // the mode the write would use
        uint32_t write_length;
        const char* message;   // nullptr: none
    };
    const std::vector<Case> cases = {
        {"award image", 1, k1M, "6A69VN01", {}, AwardImage(k1M, "6A69VN01"), 1, kCheckNone, kPlanFlashWrite, 0, k1M,
         nullptr},
        {"recognised 2 MiB board, 1 MiB image", 1, k2M, "3K41ZT01", {}, AwardImage(k1M, "3K41ZT01"), 1, kCheckNone,
         kPlanFlashWrite, 3, k1M, nullptr},
        {"another board's image", 1, k1M, "6A69VN01", {}, AwardImage(k1M, "6A69VN02"), 0, kCheckPartNumber,
         kPlanNone, 0, 0, "BIOS Partnumber(AWARD) is not correct !"},
        {"wrong size", 1, k1M, "6A69VN01", {}, std::vector<uint8_t>(0x90000, 0xFF), 0, kCheckSize, kPlanNone, 0, 0,
         "Can not load ROM image from BIN file.\nMaybe BIN file size not match."},
        {"no file", 1, k1M, "6A69VN01", {}, {}, 0, kCheckSize, kPlanNone, 0, 0,
         "Can not load ROM image from BIN file.\nMaybe BIN file size not match."},
        {"not an image", 1, k1M, "6A69VN01", {}, std::vector<uint8_t>(k1M, 0x00), 0, kCheckFamily, kPlanNone, 0, 0,
         "The new BIOS type is not correct !"},
        {"uefi, permission 1", 3, k1M, "8B22QW07", {{"Board", {{"UtilityPermission", "1"}, {"DualBios", "1"}}}},
         UefiImage(k1M, "8B22QW07"), 1, kCheckNone, kPlanDualBios, 0, k1M, nullptr},
        {"uefi, program too old", 3, k1M, "8B22QW07", {{"Board", {{"UtilityActive", "0"}}}},
         UefiImage(k1M, "8B22QW07"), 0, kCheckProgramVersion, kPlanNone, 0, 0,
         "Please update Zorvik to the latest version then start updating your system BIOS."},
        {"uefi, driver refuses", 3, k1M, "8B22QW07", {{"Board", {{"UtilityPermission", "0"}}}},
         UefiImage(k1M, "8B22QW07"), 0, kCheckDriverPermission, kPlanNone, 0, 0, nullptr},
        {"uefi, protection date", 3, k1M, "5R27HX9C", {}, UefiImage(k1M, "5R27HX9C", 2012, 1, 11), 0,
         kCheckProtectionDate, kPlanNone, 0, 0, nullptr},
        {"uefi, award image without a series", 3, k1M, "8B22QW07", {}, AwardImage(k1M, "6A69VN01"), 0, kCheckSeries,
         kPlanNone, 0, 0, "The series number of the new BIOS is not correct!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(c.flash_size, c.bios_type, c.board_part, c.board);
        const int mode = Engine.BoardMode;
        DeleteFileA(temp_.File("new.bin").c_str());
        const std::string path = c.image.empty() ? temp_.File("new.bin") : LayImage(c.image);
        const VosselImageCheck result = Check(path);
        EXPECT_EQ(result.writable, c.writable);
        EXPECT_EQ(result.failedCheck, c.failed);
        EXPECT_EQ(result.plan, c.plan);
        if (c.writable) {
            EXPECT_EQ(result.boardMode, c.board_mode);
            EXPECT_EQ(result.writeLength, c.write_length);
            EXPECT_STREQ(result.message, "");
        } else if (c.message != nullptr) {
            EXPECT_STREQ(result.message, c.message);
        } else {
            EXPECT_STRNE(result.message, "");
        }
        EXPECT_TRUE(boxes_.Shown().empty());
        EXPECT_EQ(Part(), OldPart()) << "nothing written";
        EXPECT_EQ(Calls({"W_Flash_Write", "W_Flash_Write_Ex", "W_Flash_Write_DualBios"}), std::vector<std::string>{});
        EXPECT_FLOW_IDLE(mode);
        EXPECT_EQ(Engine.CurrentFlash.FlashSize, c.flash_size);
    }

    // Paths the update would refuse, and a record of another size.
    StartBoard(k1M, 1, "6A69VN01");
    EXPECT_EQ(Check(std::string(300, 'p')).failedCheck, kCheckPath);
    VosselImageCheck wrong_size = {};
    wrong_size.size = 12;
    EXPECT_EQ(CheckBiosImage(LayImage(AwardImage(k1M, "6A69VN01")).c_str(), &wrong_size), 0);
    EXPECT_EQ(CheckBiosImage(nullptr, nullptr), 0);
    EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(CheckedUpdate, ThePartIsComparedWithWhatTheUpdateWrites) {
    struct Case {
        const char* name;
        uint32_t flash_size;
        const char* board_part;
        BoardFile board;
        uint32_t image_size;
        int after_write;
        bool corrupt;
    };
    const Case cases[] = {
        {"a good part", k1M, "6A69VN01", {}, k1M, 1, false},
        {"the upper half of the recognised 2 MiB board", k2M, "3K41ZT01", {{"Flash", {{"SizeAdaptedWrites", "1"}}}},
         k1M, 1, false},
        {"a failing part", k1M, "6A69VN01", {{"Flash", {{"CorruptWrites", "1"}}}}, k1M, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(c.flash_size, 1, c.board_part, c.board);
        const std::string path = LayImage(AwardImage(c.image_size, c.board_part));
        unsigned first = 0xFFFFFFFF;
        EXPECT_EQ(VerifyBiosImage(path.c_str(), &first), 0) << "the old content is not the image";
        ASSERT_EQ(FlashBIOS(kSourceGivenFile, path.c_str(), 1, 0, 0), 1);
        first = 0xFFFFFFFF;
        EXPECT_EQ(VerifyBiosImage(path.c_str(), &first), c.after_write);
        if (c.corrupt) {
            EXPECT_EQ(first, c.flash_size / 2) << "the flipped byte";
        }
        EXPECT_TRUE(boxes_.Shown().empty());
        EXPECT_FLOW_IDLE(Engine.BoardMode);
    }
    // An image the update would refuse is not compared.
    StartBoard(k1M, 1, "6A69VN01");
    EXPECT_EQ(VerifyBiosImage(LayImage(AwardImage(k1M, "6A69VN02")).c_str(), nullptr), -1);
    EXPECT_TRUE(boxes_.Shown().empty());
}

}  // namespace
