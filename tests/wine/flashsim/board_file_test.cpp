// The board as flashsim.ini describes it: records, answers, file places and
// the refusal of bad board files.
#include "flashsim_fixture.h"

#include <algorithm>
#include <cstring>

namespace {

using BoardFileTest = FlashSimTest;

TEST_F(BoardFileTest, WithoutABoardFileTheDriverIsAWorking512KAwardBoard) {
    FLASH_INFO flash{};
    BIOS_INFO bios{};
    ASSERT_EQ(driver_.W_Get_Flash_Info(&flash, sizeof flash), 1) << LastError();
    ASSERT_EQ(driver_.W_Get_Bios_Info(&bios, sizeof bios), 1) << LastError();
    EXPECT_EQ(flash.FlashSize, kFlashSize512K);
    EXPECT_GT(std::strlen(flash.FlashType), 0u);
    EXPECT_EQ(bios.BiosType, kBiosTypeAward);
    EXPECT_EQ(std::strlen(bios.BiosPartNumber), kPartNumberLength);
    EXPECT_NE(std::memcmp(bios.BiosPartNumber, "3K41ZT", 6), 0) << "not the board the engine adapts sizes for";

    EXPECT_EQ(ReadFlash(kFlashSize512K), Bytes(kFlashSize512K, 0xFF)) << "a new part is erased";
    EXPECT_EQ(FileBytes("flashsim.bin"), Bytes(kFlashSize512K, 0xFF)) << "content beside the driver";
    EXPECT_EQ(std::string(driver_.FlashSim_JournalPath()), DriverFile("flashsim.log"));
    EXPECT_FALSE(JournalLines().empty());

    EXPECT_EQ(driver_.IsDualBiosSupported(), 0);
    EXPECT_EQ(driver_.ChangeDualBiosExport(1), 0);
    unsigned char permission = 0xAA;
    EXPECT_NE(driver_.IsUtilityActive(nullptr, kFlashSize512K, &permission), 0);
    EXPECT_EQ(permission, 2) << "write with W_Flash_Write";
}

TEST_F(BoardFileTest, RecordsCarryTheBoardFileByteForByte) {
    const std::string flashType(43, 'T');
    const std::string signOn = "NORVANE 8B22QW07 UEFI BIOS " + std::string(80 - 27 - 3, '.') + "F12";
    ASSERT_EQ(signOn.size(), 80u);
    UseBoard({{"Flash",
               {{"FlashSize", "0x300000"},
                {"FlashType", flashType},
                {"FlashInfoBytes0_1", "A1B2"},
                {"FlashInfoBytes6_17", "00 11 22 33 44 55 66 77 88 99 aa FF"}}},
              {"Bios", {{"BiosType", "3"}, {"BiosPartNumber", "8B22QW07"}, {"SignOnMessage", signOn}}}});

    unsigned char flash[kFlashInfoSize];
    unsigned char bios[kBiosInfoSize];
    std::memset(flash, 0xEE, sizeof flash);
    std::memset(bios, 0xEE, sizeof bios);
    ASSERT_EQ(driver_.W_Get_Flash_Info(flash, sizeof flash), 1);
    ASSERT_EQ(driver_.W_Get_Bios_Info(bios, sizeof bios), 1);

    unsigned char wantFlash[kFlashInfoSize] = {0xA1, 0xB2, 0x00, 0x00, 0x30, 0x00, 0x00, 0x11, 0x22,
                                               0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xFF};
    std::memcpy(wantFlash + 18, flashType.c_str(), 44);
    EXPECT_EQ(Bytes(flash, flash + sizeof flash), Bytes(wantFlash, wantFlash + sizeof wantFlash));

    unsigned char wantBios[kBiosInfoSize] = {3, 0, 0, 0};
    std::memcpy(wantBios + 4, "8B22QW07", 9);
    std::memcpy(wantBios + 13, signOn.c_str(), 81);
    EXPECT_EQ(Bytes(bios, bios + sizeof bios), Bytes(wantBios, wantBios + sizeof wantBios));
    EXPECT_EQ(bios[93], 0) << "an 80-character sign-on keeps its terminator in the last byte";
}

TEST_F(BoardFileTest, RecordsAreWrittenOnlyIntoABufferThatHoldsThemAndNoFurther) {
    struct Case {
        bool flashRecord;
        unsigned size;
        int result;
        unsigned written;
    };
    const Case cases[] = {
        {true, kFlashInfoSize - 1, 0, 0},   {true, kFlashInfoSize, 1, kFlashInfoSize},
        {true, 200, 1, kFlashInfoSize},     {false, kBiosInfoSize - 1, 0, 0},
        {false, kBiosInfoSize, 1, kBiosInfoSize}, {false, 200, 1, kBiosInfoSize},
    };
    FLASH_INFO flash{};
    BIOS_INFO bios{};
    ASSERT_EQ(driver_.W_Get_Flash_Info(&flash, sizeof flash), 1);
    ASSERT_EQ(driver_.W_Get_Bios_Info(&bios, sizeof bios), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.flashRecord ? "FLASH_INFO" : "BIOS_INFO") + " size " + std::to_string(c.size));
        Bytes buffer(200, 0xEE);
        const int result = c.flashRecord ? driver_.W_Get_Flash_Info(buffer.data(), c.size)
                                         : driver_.W_Get_Bios_Info(buffer.data(), c.size);
        EXPECT_EQ(result, c.result);
        const auto* record = c.flashRecord ? reinterpret_cast<const unsigned char*>(&flash)
                                           : reinterpret_cast<const unsigned char*>(&bios);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.written), Bytes(record, record + c.written));
        EXPECT_EQ(Bytes(buffer.begin() + c.written, buffer.end()), Bytes(200 - c.written, 0xEE));
    }
    EXPECT_EQ(driver_.W_Get_Flash_Info(nullptr, kFlashInfoSize), 0);
    EXPECT_EQ(driver_.W_Get_Bios_Info(nullptr, kBiosInfoSize), 0);
}

TEST_F(BoardFileTest, FixedAnswersComeFromTheBoardFile) {
    UseBoard({{"Board",
               {{"UtilityActive", "0"},
                {"UtilityPermission", "3"},
                {"LoadCmosDefault", "-5"},
                {"EpCheckOemid", "0x1234"},
                {"DualBios", "1"}}}});
    unsigned char permission = 0;
    unsigned char image[16] = {};
    EXPECT_EQ(driver_.IsUtilityActive(image, sizeof image, &permission), 0);
    EXPECT_EQ(permission, 3);
    EXPECT_EQ(driver_.Load_CMOS_Default(), -5);
    EXPECT_EQ(driver_.EpCheckOemid(1, 2), 0x1234);
    EXPECT_EQ(driver_.IsDualBiosSupported(), 1);
    EXPECT_EQ(driver_.IsUtilityActive(image, sizeof image, nullptr), 0) << "nowhere to put the permission";
}

TEST_F(BoardFileTest, ThePowerSaverStopsWhenAskedAndReturnsWithTheBoardFile) {
    UseBoard({{"Board", {{"EnlPresent", "1"}, {"EnlActive", "1"}}}});
    unsigned char present = 0, active = 0;
    ASSERT_EQ(driver_.W_Support_ENL(&present, &active), 1);
    EXPECT_EQ(present, 1);
    EXPECT_EQ(active, 1);

    EXPECT_EQ(driver_.W_Enable_ENL(0), 1);
    ASSERT_EQ(driver_.W_Support_ENL(&present, &active), 1);
    EXPECT_EQ(present, 1);
    EXPECT_EQ(active, 0) << "stopped";

    EXPECT_EQ(driver_.W_Enable_ENL(1), 1);
    ASSERT_EQ(driver_.W_Support_ENL(&present, &active), 1);
    EXPECT_EQ(active, 1) << "started again";

    EXPECT_EQ(driver_.W_Enable_ENL(0), 1);
    ASSERT_EQ(driver_.FlashSim_LoadBoard(nullptr), 1);
    ASSERT_EQ(driver_.W_Support_ENL(&present, &active), 1);
    EXPECT_EQ(active, 1) << "a reloaded board starts as its file says";

    UseBoard({});
    ASSERT_EQ(driver_.W_Support_ENL(&present, &active), 1);
    EXPECT_EQ(present, 0);
    EXPECT_EQ(active, 0);
    EXPECT_EQ(driver_.W_Enable_ENL(0), 1) << "nothing to stop";
    EXPECT_EQ(driver_.W_Enable_ENL(1), 0) << "nothing to start";
    EXPECT_EQ(driver_.W_Support_ENL(nullptr, &active), 0);
}

TEST_F(BoardFileTest, FilesNamedInTheBoardFileCountFromTheDriversFolder) {
    UseBoard({{"Flash", {{"FlashSize", "0x1000"}, {"Content", "parts.bin"}}},
              {"Board", {{"DualBios", "1"}}},
              {"Journal", {{"Path", "calls.txt"}}}});
    EXPECT_EQ(FileBytes("parts.bin"), Bytes(0x1000, 0xFF));
    EXPECT_EQ(FileBytes("parts_backup.bin"), Bytes(0x1000, 0xFF)) << "the backup part lies beside the main part";
    EXPECT_EQ(std::string(driver_.FlashSim_JournalPath()), DriverFile("calls.txt"));

    const std::string elsewhere = DriverFile("other.bin");
    UseBoard({{"Flash", {{"FlashSize", "0x1000"}, {"Content", elsewhere}, {"BackupContent", "b.img"}}},
              {"Board", {{"DualBios", "1"}}}});
    EXPECT_EQ(FileBytes("other.bin").size(), 0x1000u);
    EXPECT_EQ(FileBytes("b.img").size(), 0x1000u);
    EXPECT_EQ(std::string(driver_.FlashSim_JournalPath()), DriverFile("flashsim.log"));

    // A board file given by path, anywhere.
    TempDir other("fsb");
    WriteFileBytes(other.File("board.ini"), "[Bios]\r\nBiosPartNumber=7Q00AB12\r\n");
    ASSERT_EQ(driver_.FlashSim_LoadBoard(other.File("board.ini").c_str()), 1) << LastError();
    BIOS_INFO bios{};
    ASSERT_EQ(driver_.W_Get_Bios_Info(&bios, sizeof bios), 1);
    EXPECT_STREQ(bios.BiosPartNumber, "7Q00AB12");
}

// Calls every driver function once with usable arguments; the results in
// binding order.
std::vector<int> CallEveryFunction(const FlashSimEntries& d, unsigned size) {
    Bytes record(200);
    Bytes image(size, 0x11);
    Bytes buffer(size + 1);
    unsigned count = size + 1;
    unsigned char a = 0, b = 0;
    int status = 0, percent = 0;
    return {d.W_Get_Flash_Info(record.data(), kFlashInfoSize),
            d.W_Get_Bios_Info(record.data(), kBiosInfoSize),
            d.W_Flash_Read(buffer.data(), &count),
            d.W_Flash_Write(image.data(), size, 1),
            d.W_Flash_Write_DualBios(image.data(), size, 1),
            d.W_Flash_Write_BackupBios(image.data(), size, 1),
            d.W_Flash_Write_Ex(image.data(), size, 1, 1),
            d.W_Get_Progress_Status(&status, &percent),
            d.W_Support_ENL(&a, &b),
            d.W_Enable_ENL(0),
            d.Load_CMOS_Default(),
            d.IsUtilityActive(image.data(), size, &a),
            d.IsDualBiosSupported(),
            d.ChangeDualBiosExport(1),
            d.EpCheckOemid(1, 2)};
}

TEST_F(BoardFileTest, ABadBoardFileIsRefusedWithAClearErrorAndTheDriverRefusesEverything) {
    struct Case {
        const char* what;
        BoardFile board;
        const char* error;  // part of the error text
    };
    const Case cases[] = {
        {"size not a number", {{"Flash", {{"FlashSize", "512K"}}}}, "[Flash] FlashSize \"512K\": not a number"},
        {"size empty", {{"Flash", {{"FlashSize", ""}}}}, "[Flash] FlashSize \"\": not a number"},
        {"size 0", {{"Flash", {{"FlashSize", "0"}}}}, "[Flash] FlashSize \"0\": must be from 1 to 67108864"},
        {"size beyond 32 bits", {{"Flash", {{"FlashSize", "0x100000000"}}}}, "not a number"},
        {"flash type too long", {{"Flash", {{"FlashType", std::string(44, 'T')}}}}, "44 characters, at most 43 fit"},
        {"part number too long", {{"Bios", {{"BiosPartNumber", "6A69VN012"}}}}, "9 characters, at most 8 fit"},
        {"sign-on too long", {{"Bios", {{"SignOnMessage", std::string(81, 'S')}}}}, "81 characters, at most 80 fit"},
        {"BIOS type not a number", {{"Bios", {{"BiosType", "Award"}}}}, "[Bios] BiosType \"Award\": not a number"},
        {"record bytes too few", {{"Flash", {{"FlashInfoBytes0_1", "12"}}}}, "must be 2 bytes (4 hex digits)"},
        {"record bytes not hex", {{"Flash", {{"FlashInfoBytes6_17", "zz"}}}}, "not hexadecimal"},
        {"flag out of range", {{"Board", {{"DualBios", "2"}}}}, "[Board] DualBios \"2\": must be from 0 to 1"},
        {"size-adapted writes no reading",
         {{"Flash", {{"SizeAdaptedWrites", "on"}}}},
         "[Flash] SizeAdaptedWrites \"on\": must be 0, top (or 1), upper or whole"},
        {"short reads no kind", {{"Flash", {{"ShortReads", "1"}}}}, "[Flash] ShortReads \"1\": must be 0, count or zeros"},
        {"permission beyond a byte", {{"Board", {{"UtilityPermission", "256"}}}}, "must be from 0 to 255"},
        {"unknown key", {{"Flash", {{"FlashSzie", "1"}}}}, "[Flash] FlashSzie: unknown key"},
        {"unknown section", {{"Flsh", {{"FlashSize", "1"}}}}, "[Flsh]: unknown section"},
        {"unknown failure", {{"Fail", {{"W_Flash_Writ", "1"}}}}, "[Fail] W_Flash_Writ: no driver function"},
        {"failure not a flag", {{"Fail", {{"W_Flash_Write", "yes"}}}}, "[Fail] W_Flash_Write \"yes\": not a number"},
        {"DMI beyond the part",
         {{"Flash", {{"FlashSize", "0x80000"}, {"DmiOffset", "0x7F000"}, {"DmiLength", "0x2000"}}}},
         "reach beyond the 524288-byte flash part"},
        {"active saver without a saver", {{"Board", {{"EnlActive", "1"}}}}, "EnlActive 1 needs EnlPresent 1"},
        {"one file for both parts",
         {{"Flash", {{"Content", "x.bin"}, {"BackupContent", "X.BIN"}}}, {"Board", {{"DualBios", "1"}}}},
         "name the same file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBoardFile(c.board);
        EXPECT_EQ(driver_.FlashSim_LoadBoard(nullptr), 0);
        const std::string error = LastError();
        EXPECT_NE(error.find(DriverFile("flashsim.ini") + ": "), std::string::npos) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(CallEveryFunction(driver_, kFlashSize512K), std::vector<int>(15, 0));
        EXPECT_EQ(LastError(), error) << "refused calls keep the board's error";
        const std::vector<std::string> journal = JournalLines();
        EXPECT_NE(std::find(journal.begin(), journal.end(),
                            "Board ini=" + DriverFile("flashsim.ini") + " -> 0 error: " + error),
                  journal.end());

        UseBoard({});
        EXPECT_EQ(LastError(), "") << "a good board file clears the error";
    }
}

TEST_F(BoardFileTest, AContentFileOfTheWrongSizeIsABoardError) {
    SetFileBytes("flashsim.bin", Bytes(1000, 0x00));
    EXPECT_EQ(driver_.FlashSim_LoadBoard(nullptr), 0);
    EXPECT_NE(LastError().find("holds 1000 bytes, the flash part 524288"), std::string::npos) << LastError();
    EXPECT_EQ(FileBytes("flashsim.bin"), Bytes(1000, 0x00)) << "left as it was";
}

TEST_F(BoardFileTest, ABadBoardFileBesideTheDriverShowsOnTheFirstCall) {
    WriteBoardFile({{"Flash", {{"FlashSize", "lots"}}}});
    unsigned char record[kFlashInfoSize];
    EXPECT_EQ(driver_.W_Get_Flash_Info(record, sizeof record), 0);
    EXPECT_NE(LastError().find("FlashSize \"lots\": not a number"), std::string::npos) << LastError();
}

TEST_F(BoardFileTest, ANamedBoardFileMustExist) {
    EXPECT_EQ(driver_.FlashSim_LoadBoard(DriverFile("missing.ini").c_str()), 0);
    EXPECT_NE(LastError().find("missing.ini: no such board file"), std::string::npos) << LastError();
}

}  // namespace
