// In-process engine tests: the engine code linked into the test program, the
// simulated flash.dll beside it, message boxes answered by a script.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "board_file.h"
#include "engine_state.h"
#include "flashsim_controls.h"
#include "scripted_message_boxes.h"
#include "temp_dir.h"

// A function of a loaded module, typed.
template <typename Function>
Function ProcAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Describes the board in a fresh board file (flash content and journal in
    // the test's temporary folder), loads it into the simulated driver and
    // runs the engine's start-up from the test program's folder. The part is
    // erased first unless keepContent (the test laid flash.bin itself).
    bool StartOnBoard(BoardFile board, bool keepContent = false);

    // The driver's journal lines so far.
    std::vector<std::string> Journal() const;
    size_t JournalCount(const std::string& function) const;

    TempDir temp_;
    ScriptedMessageBoxes boxes_;
    HMODULE driver_ = nullptr;
    FlashSimControls sim_;
};
