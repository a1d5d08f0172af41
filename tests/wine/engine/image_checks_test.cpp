// The engine's image checks over real files and the simulated driver: reading
// image files with their size adaptations, the board-mode placement and its
// restoration, every refusal with its text, caption and icon, and the two
// version files read beside the engine.
#include <cstring>
#include <string>
#include <vector>

#include "board_validation.h"
#include "engine_fixture.h"
#include "image_loading.h"
#include "test_images.h"
#include "version_files.h"

namespace {

using vossel::UpdatePath;
using vossel::WritePlan;

using test_images::AwardImage;
using test_images::Bytes;
using test_images::Pattern;
using test_images::UefiImage;

// ------------------------------------------------------------ image files

TEST(ImageFiles, LoadAdaptsOnlyTheKnownShortFilesOfA512KPart) {
    TempDir dir;
    struct Case {
        const char* name;
        size_t file_size;
        uint32_t expected;
        int result;
    };
    const Case cases[] = {
        {"exact 512 KiB", 0x80000, 0x80000, 1},
        {"384 KiB on 512 KiB", 0x60000, 0x80000, 1},
        {"256 KiB on 512 KiB", 0x40000, 0x80000, 1},
        {"one byte too long", 0x80001, 0x80000, 0},
        {"one byte short", 0x7FFFF, 0x80000, 0},
        {"384 KiB on 1 MiB", 0x60000, 0x100000, 0},
        {"256 KiB on 1 MiB", 0x40000, 0x100000, 0},
        {"empty", 0, 0x80000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string data = Pattern(c.file_size, 7);
        WriteFileBytes(dir.File("image.bin"), data);
        std::vector<uint8_t> buffer(c.expected + 1, 0);
        ASSERT_EQ(LoadImageFile(dir.File("image.bin").c_str(), buffer.data(), c.expected), c.result);
        if (c.result == 0) continue;
        const std::string image(buffer.begin(), buffer.begin() + c.expected);
        if (c.file_size == 0x60000) {
            EXPECT_EQ(image.substr(0, 0x20000), std::string(0x20000, '\xFF'));
            EXPECT_EQ(image.substr(0x20000), data) << "the file ends at the image end";
        } else if (c.file_size == 0x40000) {
            EXPECT_EQ(image.substr(0, 0x40000), data);
            EXPECT_EQ(image.substr(0x40000), data);
        } else {
            EXPECT_EQ(image, data);
        }
    }
    std::vector<uint8_t> buffer(0x80001);
    EXPECT_EQ(LoadImageFile(dir.File("missing.bin").c_str(), buffer.data(), 0x80000), 0);
}

TEST(ImageFiles, SizeOfAFileOrZero) {
    TempDir dir;
    WriteFileBytes(dir.File("a.bin"), std::string(12345, 'a'));
    WriteFileBytes(dir.File("empty.bin"), "");
    EXPECT_EQ(GetImageFileSize(dir.File("a.bin").c_str()), 12345u);
    EXPECT_EQ(GetImageFileSize(dir.File("empty.bin").c_str()), 0u);
    EXPECT_EQ(GetImageFileSize(dir.File("missing.bin").c_str()), 0u);
}

// ------------------------------------------------------------ placement and validation

class ImageChecks : public EngineTest {
protected:
    // Starts the engine on a board and lays the image file in the test folder.
    void StartBoard(const char* size, int bios_type, const char* part_number, BoardFile extra = {}) {
        extra["Flash"]["FlashSize"] = size;
        extra["Bios"]["BiosType"] = std::to_string(bios_type);
        extra["Bios"]["BiosPartNumber"] = part_number;
        ASSERT_TRUE(StartOnBoard(extra));
        boxes_.Clear();
    }

    std::string WriteImage(const std::vector<uint8_t>& image) {
        WriteFileBytes(temp_.File("new.bin"), Bytes(image));
        return temp_.File("new.bin");
    }

    // The Award path as the update flow runs it: buffer, placement, validation.
    bool CheckFile(UpdatePath path, const std::string& file, WritePlan* plan) {
        buffer_.Allocate(vossel::ImageBufferSize(path, Engine.BoardMode, Engine.CurrentFlash.FlashSize));
        return PlaceImageFile(path, file.c_str(), buffer_) && ValidatePlacedImage(path, buffer_, plan);
    }

    void ExpectOneBox(const std::string& text, const std::string& caption, UINT icon) {
        const std::vector<RecordedMessageBox> shown = boxes_.Shown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, text);
        EXPECT_EQ(shown[0].caption, caption);
        EXPECT_EQ(shown[0].icon, icon);
        EXPECT_EQ(shown[0].buttons, static_cast<UINT>(MB_OK));
        EXPECT_EQ(shown[0].owner, nullptr);
    }

    ImageBuffer buffer_;
};

const char kCannotLoad[] = "Can not load ROM image from BIN file.\nMaybe BIN file size not match.";

TEST_F(ImageChecks, TwoMegabyteFileOnTheRecognisedOneMegabyteBoardEntersModeTwoAndARefusalRestoresIt) {
    StartBoard("0x100000", 1, "3K41ZT01");
    ASSERT_EQ(Engine.BoardMode, 1);
    WritePlan plan;

    // An image of another board: placed in mode 2, then refused.
    EXPECT_FALSE(CheckFile(UpdatePath::kAward, WriteImage(AwardImage(0x200000, "3K41ZT99")), &plan));
    ExpectOneBox("BIOS Partnumber(AWARD) is not correct !", "Error", 0);
    EXPECT_EQ(Engine.BoardMode, 1);
    EXPECT_EQ(Engine.CurrentFlash.FlashSize, 0x100000u);
    EXPECT_FALSE(buffer_) << "released on the refusal";

    // The board's own image: accepted, mode 2 stays in force for the write.
    boxes_.Clear();
    EXPECT_TRUE(CheckFile(UpdatePath::kAward, WriteImage(AwardImage(0x200000, "3K41ZT01")), &plan));
    EXPECT_TRUE(boxes_.Shown().empty());
    EXPECT_EQ(plan, WritePlan::kFlashWrite);
    EXPECT_EQ(Engine.BoardMode, 2);
    EXPECT_EQ(Engine.CurrentFlash.FlashSize, 0x200000u);
    EXPECT_EQ(Engine.AwardFound, 1);
    EXPECT_GE(buffer_.size(), 0x200001u);
    RestoreBoardMode();
}

TEST_F(ImageChecks, OneMegabyteFileOnTheRecognisedTwoMegabyteBoardLandsInTheUpperHalf) {
    StartBoard("0x200000", 1, "3K41ZT01");
    const std::vector<uint8_t> image = AwardImage(0x100000, "3K41ZT01");
    WritePlan plan;
    EXPECT_TRUE(CheckFile(UpdatePath::kAward, WriteImage(image), &plan));
    EXPECT_TRUE(boxes_.Shown().empty());
    EXPECT_EQ(Engine.BoardMode, 3);
    EXPECT_EQ(Engine.CurrentFlash.FlashSize, 0x200000u);
    EXPECT_EQ(std::memcmp(buffer_.data() + 0x100000, image.data(), image.size()), 0);
    EXPECT_EQ(std::vector<uint8_t>(buffer_.data(), buffer_.data() + 0x100000), std::vector<uint8_t>(0x100000, 0))
        << "the lower half keeps the buffer's zero bytes";

    // With another part number in the upper half's trailer the mode returns to 1.
    boxes_.Clear();
    EXPECT_FALSE(CheckFile(UpdatePath::kAward, WriteImage(AwardImage(0x100000, "3K41ZT77")), &plan));
    ExpectOneBox("BIOS Partnumber(AWARD) is not correct !", "Error", 0);
    EXPECT_EQ(Engine.BoardMode, 1);
    EXPECT_EQ(Engine.CurrentFlash.FlashSize, 0x200000u);
}

TEST_F(ImageChecks, FilesThatCannotBePlacedAreRefusedWithTheirMessage) {
    struct Case {
        const char* name;
        const char* flash_size;
        const char* part_number;
        size_t file_size;  // SIZE_MAX: no file at all
        const char* text;
        uint32_t flash_size_after;
    };
    const Case cases[] = {
        {"empty file in a board mode", "0x100000", "3K41ZT01", 0,
         "The unexpected problem occur during updating the BIOS!", 0x100000},
        {"missing file in a board mode", "0x100000", "3K41ZT01", SIZE_MAX,
         "The unexpected problem occur during updating the BIOS!", 0x100000},
        {"2 MiB file one byte long", "0x100000", "3K41ZT01", 0x200001, kCannotLoad, 0x100000},
        {"wrong size on another board", "0x80000", "6A69VN01", 0x90000, kCannotLoad, 0x80000},
        {"missing file on another board", "0x80000", "6A69VN01", SIZE_MAX, kCannotLoad, 0x80000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(c.flash_size, 1, c.part_number);
        const int mode_before = Engine.BoardMode;
        DeleteFileA(temp_.File("new.bin").c_str());
        if (c.file_size != SIZE_MAX) WriteFileBytes(temp_.File("new.bin"), std::string(c.file_size, 'x'));
        WritePlan plan;
        EXPECT_FALSE(CheckFile(UpdatePath::kAward, temp_.File("new.bin"), &plan));
        ExpectOneBox(c.text, "Error", MB_ICONERROR);
        EXPECT_EQ(Engine.BoardMode, mode_before);
        EXPECT_EQ(Engine.CurrentFlash.FlashSize, c.flash_size_after);
        EXPECT_FALSE(buffer_);
    }
}

TEST_F(ImageChecks, ImagesInMemoryFollowTheSameModesAndNeverOverrunTheBuffer) {
    StartBoard("0x100000", 1, "3K41ZT01");
    const std::vector<uint8_t> image = AwardImage(0x200000, "3K41ZT01");
    buffer_.Allocate(vossel::ImageBufferSize(UpdatePath::kAward, Engine.BoardMode, Engine.CurrentFlash.FlashSize));
    ASSERT_TRUE(PlaceImageInMemory(UpdatePath::kAward, image.data(), static_cast<uint32_t>(image.size()), buffer_));
    EXPECT_EQ(Engine.BoardMode, 2);
    EXPECT_EQ(std::memcmp(buffer_.data(), image.data(), image.size()), 0);
    RestoreBoardMode();

    // Longer than any buffer of this board: refused, nothing copied.
    StartBoard("0x80000", 1, "6A69VN01");
    std::vector<uint8_t> huge(0x500000, 0xAB);
    buffer_.Allocate(0x80001);
    EXPECT_FALSE(PlaceImageInMemory(UpdatePath::kAward, huge.data(), static_cast<uint32_t>(huge.size()), buffer_));
    ExpectOneBox(kCannotLoad, "Error", MB_ICONERROR);
    EXPECT_FALSE(buffer_);
}

// Every validation outcome of both board families on the simulated driver.
TEST_F(ImageChecks, ValidationOutcomesWithTheirMessages) {
    const char kProtected[] =
        "This motherboard is protected from using this BIOS. \nPlease download the latest BIOS from Norvane "
        "website to update BIOS again.";
    struct Case {
        const char* name;
        int bios_type;
        const char* board_part;
        const char* pn_ini_entry;  // PN of the board's section, nullptr: no PN.INI
        std::vector<uint8_t> image;
        BoardFile driver;
        bool accepted;
        WritePlan plan;
        const char* text;
        const char* caption;
    };
    const uint32_t size = 0x100000;
    const std::vector<Case> cases = {
        {"award board, its award image", 1, "6A69VN01", nullptr, AwardImage(size, "6A69VN01"), {}, true,
         WritePlan::kFlashWrite, nullptr, nullptr},
        {"award board, another award image", 1, "6A69VN01", nullptr, AwardImage(size, "6A69VN02"), {}, false,
         WritePlan::kNoWriteCall, "BIOS Partnumber(AWARD) is not correct !", "Error"},
        {"award board, uefi image of its series", 1, "6A69VN01", "8B22QW07", UefiImage(size, "8B22QW07"), {}, true,
         WritePlan::kFlashWriteExUefiOnAward, nullptr, nullptr},
        {"award board, uefi image, no PN.INI", 1, "6A69VN01", nullptr, UefiImage(size, "8B22QW07"), {}, false,
         WritePlan::kNoWriteCall, "The series number of the new BIOS is not correct!", "Error"},
        {"award board, neither family", 1, "6A69VN01", nullptr, std::vector<uint8_t>(size, 0xFF), {}, false,
         WritePlan::kNoWriteCall, "The new BIOS type is not correct !", "Error"},
        {"uefi board, permission 2", 3, "8B22QW07", nullptr, UefiImage(size, "8B22QW07"),
         {{"Board", {{"UtilityPermission", "2"}}}}, true, WritePlan::kFlashWrite, nullptr, nullptr},
        {"uefi board, permission 1", 3, "8B22QW07", nullptr, UefiImage(size, "8B22QW07"),
         {{"Board", {{"UtilityPermission", "1"}}}}, true, WritePlan::kFlashWriteDualBios, nullptr, nullptr},
        {"uefi board, permission 3", 3, "8B22QW07", nullptr, UefiImage(size, "8B22QW07"),
         {{"Board", {{"UtilityPermission", "3"}}}}, true, WritePlan::kNoWriteCall, nullptr, nullptr},
        {"uefi board, another uefi image", 3, "8B22QW07", nullptr, UefiImage(size, "8B22QW08"), {}, false,
         WritePlan::kNoWriteCall, "BIOS Partnumber is not correct !", "Error"},
        {"uefi board, program too old", 3, "8B22QW07", nullptr, UefiImage(size, "8B22QW07"),
         {{"Board", {{"UtilityActive", "0"}}}}, false, WritePlan::kNoWriteCall,
         "Please update Zorvik to the latest version then start updating your system BIOS.", "Information "},
        {"uefi board, driver refuses", 3, "8B22QW07", nullptr, UefiImage(size, "8B22QW07"),
         {{"Board", {{"UtilityPermission", "0"}}}}, false, WritePlan::kNoWriteCall, kProtected, "Error"},
        {"uefi board, protection rule refuses", 3, "5R27HX9C", nullptr, UefiImage(size, "5R27HX9C", 2012, 1, 11),
         {}, false, WritePlan::kNoWriteCall,
         "This motherboard is protected from using this BIOS. \nPlease download the latest BIOS from Norvane "
         "website to update BIOS again",
         "Error"},
        {"uefi board, protection rule allows", 3, "5R27HX9C", nullptr, UefiImage(size, "5R27HX9C", 2012, 1, 12),
         {}, true, WritePlan::kFlashWrite, nullptr, nullptr},
        {"uefi board, award image of its series", 3, "8B22QW07", "6A69VN01", AwardImage(size, "6A69VN01"), {},
         true, WritePlan::kFlashWriteExAwardOnUefi, nullptr, nullptr},
        {"uefi board, award image of another series", 3, "8B22QW07", "6A69VN01", AwardImage(size, "6A69VN05"), {},
         false, WritePlan::kNoWriteCall, "The series number of the new BIOS is not correct!", "Error"},
        {"uefi board, neither family", 3, "8B22QW07", nullptr, std::vector<uint8_t>(size, 0xFF), {}, false,
         WritePlan::kNoWriteCall, "The BIOS vendor is not correct!", "Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard("0x100000", c.bios_type, c.board_part, c.driver);
        // The version files are read from the engine's folder: this test's own.
        lstrcpynA(Engine.ModuleDir, temp_.path().c_str(), sizeof Engine.ModuleDir);
        DeleteFileA(temp_.File("PN.INI").c_str());
        if (c.pn_ini_entry != nullptr) {
            WriteFileBytes(temp_.File("PN.INI"),
                           std::string("[") + c.board_part + "]\r\nPN=" + c.pn_ini_entry + "\r\n");
        }
        const UpdatePath path = c.bios_type == 1 ? UpdatePath::kAward : UpdatePath::kUefi;
        WritePlan plan = WritePlan::kNoWriteCall;
        EXPECT_EQ(CheckFile(path, WriteImage(c.image), &plan), c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(boxes_.Shown().empty());
            EXPECT_EQ(plan, c.plan);
        } else {
            ExpectOneBox(c.text, c.caption, 0);
            EXPECT_FALSE(buffer_);
        }
    }
}

TEST_F(ImageChecks, TheDriverJudgesTheWholeImageAndOnlyOnUefiImagesOfUefiBoards) {
    StartBoard("0x100000", 3, "8B22QW07");
    lstrcpynA(Engine.ModuleDir, temp_.path().c_str(), sizeof Engine.ModuleDir);
    WritePlan plan;
    ASSERT_TRUE(CheckFile(UpdatePath::kUefi, WriteImage(UefiImage(0x100000, "8B22QW07")), &plan));
    EXPECT_EQ(JournalCount("IsUtilityActive"), 1u);
    EXPECT_EQ(Journal().back().rfind("IsUtilityActive length=1048576", 0), 0u) << Journal().back();

    WriteFileBytes(temp_.File("PN.INI"), "[8B22QW07]\r\nPN=6A69VN01\r\n");
    ASSERT_TRUE(CheckFile(UpdatePath::kUefi, WriteImage(AwardImage(0x100000, "6A69VN01")), &plan));
    EXPECT_EQ(JournalCount("IsUtilityActive"), 1u) << "an Award image is not shown to the driver";
}

TEST_F(ImageChecks, AwardFoundRecordsTheLastSearchOnTheAwardPath) {
    StartBoard("0x100000", 1, "6A69VN01");
    lstrcpynA(Engine.ModuleDir, temp_.path().c_str(), sizeof Engine.ModuleDir);
    WritePlan plan;
    EXPECT_TRUE(CheckFile(UpdatePath::kAward, WriteImage(AwardImage(0x100000, "6A69VN01")), &plan));
    EXPECT_EQ(Engine.AwardFound, 1);
    EXPECT_FALSE(CheckFile(UpdatePath::kAward, WriteImage(std::vector<uint8_t>(0x100000, 0)), &plan));
    EXPECT_EQ(Engine.AwardFound, 0);

    // The UEFI path leaves it alone.
    StartBoard("0x100000", 3, "8B22QW07");
    Engine.AwardFound = 7;
    WriteFileBytes(temp_.File("PN.INI"), "[8B22QW07]\r\nPN=6A69VN01\r\n");
    lstrcpynA(Engine.ModuleDir, temp_.path().c_str(), sizeof Engine.ModuleDir);
    EXPECT_TRUE(CheckFile(UpdatePath::kUefi, WriteImage(AwardImage(0x100000, "6A69VN01")), &plan));
    EXPECT_EQ(Engine.AwardFound, 7);
}

// ------------------------------------------------------------ version files

class VersionFiles : public ::testing::Test {
protected:
    void SetUp() override { lstrcpynA(Engine.ModuleDir, dir_.path().c_str(), sizeof Engine.ModuleDir); }
    void Write(const char* name, const std::string& text) { WriteFileBytes(dir_.File(name), text); }
    TempDir dir_;
};

TEST_F(VersionFiles, ProgramVersionGate) {
    struct Case {
        const char* name;
        const char* verinfo;  // nullptr: no file
        double program_version;
        int result;
    };
    const Case cases[] = {
        {"no file", nullptr, 2.34, 1},
        {"board not listed", "[PartNumber]\n0=6A69VN01\n[Version]\n0=9.9\n", 2.34, 1},
        {"newer required", "[PartNumber]\n0=6A69VN01\n1=3K41ZT01\n[Version]\n1=2.35\n", 2.34, 0},
        {"same required", "[PartNumber]\n0=6A69VN01\n1=3K41ZT01\n[Version]\n1=2.34\n", 2.34, 1},
        {"older required", "[PartNumber]\n0=6A69VN01\n1=3K41ZT01\n[Version]\n1=2.3\n", 2.34, 1},
        {"empty version goes on to a later entry",
         "[PartNumber]\n0=3K41ZT01\n1=3K41ZT01\n[Version]\n0=\n1=3.0\n", 2.34, 0},
        {"first matching version decides", "[PartNumber]\n0=3K41ZT01\n1=3K41ZT01\n[Version]\n0=1.0\n1=3.0\n", 2.34,
         1},
        {"a gap ends the list", "[PartNumber]\n0=A\n1=B\n3=3K41ZT01\n[Version]\n3=9.0\n", 2.34, 1},
        {"case matters", "[PartNumber]\n0=3k41zt01\n[Version]\n0=9.0\n", 2.34, 1},
        {"section and key names match in any case", "[partnumber]\n0=3K41ZT01\n[VERSION]\n0=9.0\n", 2.34, 0},
        {"leading number of the text", "[PartNumber]\n0=3K41ZT01\n[Version]\n0=2.35beta\n", 2.34, 0},
        {"text without a number", "[PartNumber]\n0=3K41ZT01\n[Version]\n0=latest\n", 2.34, 1},
        {"no hexadecimal numbers", "[PartNumber]\n0=3K41ZT01\n[Version]\n0=0x10\n", 2.34, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(dir_.File("verinfo.ini").c_str());
        if (c.verinfo != nullptr) Write("verinfo.ini", c.verinfo);
        EXPECT_EQ(CheckProgramVersion("3K41ZT01", c.program_version), c.result);
    }
}

TEST_F(VersionFiles, SeriesNumberComparesTheFirstEightBytesOfTheEntry) {
    struct Case {
        const char* name;
        const char* pn_ini;  // nullptr: no file
        const char image_part[8];
        int result;
    };
    const Case cases[] = {
        {"no file", nullptr, {'6', 'A', '6', '9', 'V', 'N', '0', '1'}, 0},
        {"equal", "[3K41ZT01]\nPN=6A69VN01\n", {'6', 'A', '6', '9', 'V', 'N', '0', '1'}, 1},
        {"more characters after the eight", "[3K41ZT01]\nPN=6A69VN01XYZ\n", {'6', 'A', '6', '9', 'V', 'N', '0', '1'},
         1},
        {"differs", "[3K41ZT01]\nPN=6A69VN02\n", {'6', 'A', '6', '9', 'V', 'N', '0', '1'}, 0},
        {"six characters, image ends in zero bytes", "[3K41ZT01]\nPN=6A69VN\n", {'6', 'A', '6', '9', 'V', 'N', 0, 0},
         1},
        {"six characters, full image part", "[3K41ZT01]\nPN=6A69VN\n", {'6', 'A', '6', '9', 'V', 'N', '0', '1'}, 0},
        {"empty entry", "[3K41ZT01]\nPN=\n", {0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"other board's section", "[6A69VN01]\nPN=6A69VN01\n", {'6', 'A', '6', '9', 'V', 'N', '0', '1'}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(dir_.File("PN.INI").c_str());
        if (c.pn_ini != nullptr) Write("PN.INI", c.pn_ini);
        EXPECT_EQ(CheckSeriesNumber("3K41ZT01", c.image_part), c.result);
    }
}

}  // namespace
