#include "engine_fixture.h"

#include <fstream>
#include <sstream>

void EngineTest::SetUp() {
    driver_ = LoadLibraryA((ProgramDir() + "flash.dll").c_str());
    ASSERT_NE(driver_, nullptr) << "the simulated flash.dll lies beside the test program";
    const char* missing = sim_.Bind(driver_);
    ASSERT_EQ(missing, nullptr) << "flash.dll does not export " << missing;
    Engine.OwnProgress = 0;
}

void EngineTest::TearDown() {
    Engine.OwnProgress = 0;
    if (sim_.FlashSim_LoadBoard != nullptr) sim_.FlashSim_LoadBoard(nullptr);
    if (driver_ != nullptr) FreeLibrary(driver_);
}

bool EngineTest::StartOnBoard(BoardFile board, bool keepContent) {
    // Each board gets fresh flash content: a board of another size would
    // refuse the old file.
    if (!keepContent) {
        DeleteFileA(temp_.File("flash.bin").c_str());
        DeleteFileA(temp_.File("flash_backup.bin").c_str());
    }
    board["Flash"].emplace("Content", temp_.File("flash.bin"));
    board["Journal"].emplace("Path", temp_.File("journal.log"));
    WriteBoardFile(temp_.File("flashsim.ini"), board);
    if (sim_.FlashSim_LoadBoard(temp_.File("flashsim.ini").c_str()) != 1) {
        ADD_FAILURE() << "board file refused: " << sim_.FlashSim_LastError();
        return false;
    }
    return StartEngine(ProgramDir().c_str());
}

std::vector<std::string> EngineTest::Journal() const { return ReadLines(temp_.File("journal.log")); }

size_t EngineTest::JournalCount(const std::string& function) const {
    size_t count = 0;
    for (const std::string& line : Journal()) {
        if (line.compare(0, function.size() + 1, function + " ") == 0) ++count;
    }
    return count;
}
