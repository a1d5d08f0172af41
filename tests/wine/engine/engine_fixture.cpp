#include "engine_fixture.h"

#include <fstream>
#include <sstream>

void EngineTest::SetUp() {
    driver_ = LoadLibraryA((ProgramDir() + "flash.dll").c_str());
    ASSERT_NE(driver_, nullptr) << "the simulated flash.dll lies beside the test program";
    load_board_ = ProcAddress<FlashSimLoadBoardFn>(driver_, "FlashSim_LoadBoard");
    last_error_ = ProcAddress<FlashSimLastErrorFn>(driver_, "FlashSim_LastError");
    hold_at_ = ProcAddress<FlashSimHoldAtFn>(driver_, "FlashSim_HoldAt");
    wait_held_ = ProcAddress<FlashSimWaitHeldFn>(driver_, "FlashSim_WaitHeld");
    release_ = ProcAddress<FlashSimReleaseFn>(driver_, "FlashSim_Release");
    ASSERT_TRUE(load_board_ && last_error_ && hold_at_ && wait_held_ && release_);
    Engine.OwnProgress = 0;
}

void EngineTest::TearDown() {
    Engine.OwnProgress = 0;
    if (load_board_ != nullptr) load_board_(nullptr);
    if (driver_ != nullptr) FreeLibrary(driver_);
}

bool EngineTest::StartOnBoard(BoardFile board) {
    // Each board gets fresh flash content: a board of another size would
    // refuse the old file.
    DeleteFileA(temp_.File("flash.bin").c_str());
    board["Flash"].emplace("Content", temp_.File("flash.bin"));
    board["Journal"].emplace("Path", temp_.File("journal.log"));
    WriteBoardFile(temp_.File("flashsim.ini"), board);
    if (load_board_(temp_.File("flashsim.ini").c_str()) != 1) {
        ADD_FAILURE() << "board file refused: " << last_error_();
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
