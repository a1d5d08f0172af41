// Start-up of the engine: the driver taken from the engine's own folder only,
// all fifteen entry points bound or a refusal, both records read once, the
// recognised board.
#include <cstring>

#include "engine_fixture.h"
#include "info_exports.h"
#include "records.h"

namespace {

using EngineStartup = EngineTest;

TEST_F(EngineStartup, ReadsBothRecordsAndSetsTheInitialState) {
    Engine.ProgressPercent = 7;
    Engine.Busy = 1;
    ASSERT_TRUE(StartOnBoard({{"Flash", {{"FlashSize", "0x100000"}, {"FlashType", "MX25L8005"}}},
                              {"Bios",
                               {{"BiosType", "3"},
                                {"BiosPartNumber", "8B22QW07"},
                                {"SignOnMessage", "NORVANE 8B22QW07 UEFI BIOS F12"}}}}));

    EXPECT_TRUE(boxes_.Shown().empty());
    EXPECT_EQ(std::string(Engine.ModuleDir), ProgramDir());
    EXPECT_EQ(Engine.CurrentFlash.FlashSize, 0x100000u);
    EXPECT_STREQ(Engine.CurrentFlash.FlashType, "MX25L8005");
    EXPECT_EQ(Engine.CurrentBios.BiosType, 3);
    EXPECT_STREQ(Engine.CurrentBios.BiosPartNumber, "8B22QW07");
    EXPECT_STREQ(Engine.CurrentBios.SignOnMessage, "NORVANE 8B22QW07 UEFI BIOS F12");
    EXPECT_EQ(Engine.ProgramVersion, 2.34);
    EXPECT_EQ(Engine.Busy, 0);
    EXPECT_EQ(Engine.ProgressStatus, 0);
    EXPECT_EQ(Engine.ProgressPercent, 100);
    EXPECT_EQ(Engine.BoardMode, 0);

    // The records are the driver's bytes, including those nobody reads.
    FLASH_INFO flash{};
    BIOS_INFO bios{};
    auto get_flash = ProcAddress<int(__cdecl*)(void*, unsigned)>(driver_, "W_Get_Flash_Info");
    auto get_bios = ProcAddress<int(__cdecl*)(void*, unsigned)>(driver_, "W_Get_Bios_Info");
    get_flash(&flash, sizeof flash);
    get_bios(&bios, sizeof bios);
    EXPECT_EQ(std::memcmp(&flash, &Engine.CurrentFlash, sizeof flash), 0);
    EXPECT_EQ(std::memcmp(&bios, &Engine.CurrentBios, sizeof bios), 0);
}

TEST_F(EngineStartup, RecognisesTheBoardByTheExactStartOfItsPartNumber) {
    struct Case {
        const char* part_number;
        int board_mode;
    };
    const Case cases[] = {
        {"3K41ZT01", 1},  // the recognised board
        {"3K41ZTQX", 1},  // any characters after the six
        {"3K41ZT", 1},    // the six alone
        {"3k41zt01", 0},  // case matters
        {"3K41Z", 0},     // too short: the terminator breaks the match
        {"X3K41ZT0", 0},
        {"6A69VN01", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part_number);
        ASSERT_TRUE(StartOnBoard({{"Bios", {{"BiosPartNumber", c.part_number}}}}));
        EXPECT_EQ(Engine.BoardMode, c.board_mode);
    }
}

TEST_F(EngineStartup, ReadsTheRecordsOnceAtStartUp) {
    ASSERT_TRUE(StartOnBoard({}));
    EXPECT_EQ(JournalCount("W_Get_Flash_Info"), 1u);
    EXPECT_EQ(JournalCount("W_Get_Bios_Info"), 1u);
    FLASH_INFO flash{};
    Get_Flash_Info(&flash, sizeof flash);
    Get_Flash_Info(&flash, sizeof flash);
    EXPECT_EQ(JournalCount("W_Get_Flash_Info"), 1u);
}

TEST_F(EngineStartup, WithoutADriverInItsFolderRefusesAfterOneMessage) {
    // flash.dll lies beside the test program, which is on the search path;
    // the engine must not take it from there.
    TempDir empty;
    EXPECT_FALSE(StartEngine(empty.path().c_str()));

    const std::vector<RecordedMessageBox> shown = boxes_.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, nullptr);
    EXPECT_EQ(shown[0].text, "Load flash.dll failed !");
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].buttons, static_cast<UINT>(MB_OK));
    EXPECT_EQ(shown[0].icon, 0u);
}

TEST_F(EngineStartup, RefusesADriverThatLacksAnEntryPointWithoutCallingIt) {
    TempDir folder;
    ASSERT_TRUE(CopyFileA((ProgramDir() + "partial_flash.dll").c_str(), folder.File("flash.dll").c_str(), FALSE));
    // Held by the test, so its call counter outlives the engine's binding.
    HMODULE partial = LoadLibraryA(folder.File("flash.dll").c_str());
    ASSERT_NE(partial, nullptr);
    auto calls = ProcAddress<int(__cdecl*)()>(partial, "PartialDriver_Calls");
    ASSERT_NE(calls, nullptr);

    EXPECT_FALSE(StartEngine(folder.path().c_str()));

    const std::vector<RecordedMessageBox> shown = boxes_.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, nullptr);
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].buttons, static_cast<UINT>(MB_OK));
    EXPECT_EQ(shown[0].text,
              "The flash driver flash.dll has no function W_Flash_Write_Ex !\n"
              "Please install the flash.dll that came with this program.");
    EXPECT_EQ(Engine.FlashDriver.Library, nullptr);
    EXPECT_EQ(Engine.FlashDriver.W_Get_Flash_Info, nullptr);
    EXPECT_EQ(calls(), 0);
    FreeLibrary(partial);
}

TEST_F(EngineStartup, FindsItsOwnModuleFolder) {
    char dir[kModulePathBufferSize];
    ASSERT_TRUE(GetEngineModuleDir(dir));
    // Linked into the test program, the engine's module is the program.
    EXPECT_EQ(std::string(dir), ProgramDir());
}

TEST_F(EngineStartup, AFolderPathTooLongForItsBufferIsRefused) {
    std::string long_dir = "C:\\" + std::string(kModulePathBufferSize, 'd') + "\\";
    EXPECT_FALSE(StartEngine(long_dir.c_str()));
    ASSERT_EQ(boxes_.Shown().size(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].text, "Load flash.dll failed !");
}

}  // namespace
