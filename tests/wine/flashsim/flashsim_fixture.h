// Tests of the simulated flash driver: each test gets its own copy of
// flash.dll in a fresh temporary folder, so the board file, the flash content
// and the journal beside the driver belong to that test alone.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "board_file.h"
#include "flash_exports.h"
#include "flashsim_controls.h"
#include "records.h"
#include "temp_dir.h"

using Bytes = std::vector<unsigned char>;

// Every entry point of the driver copy, bound by name.
struct FlashSimEntries : FlashSimControls {
    decltype(&::W_Get_Flash_Info) W_Get_Flash_Info = nullptr;
    decltype(&::W_Get_Bios_Info) W_Get_Bios_Info = nullptr;
    decltype(&::W_Flash_Read) W_Flash_Read = nullptr;
    decltype(&::W_Flash_Write) W_Flash_Write = nullptr;
    decltype(&::W_Flash_Write_DualBios) W_Flash_Write_DualBios = nullptr;
    decltype(&::W_Flash_Write_BackupBios) W_Flash_Write_BackupBios = nullptr;
    decltype(&::W_Flash_Write_Ex) W_Flash_Write_Ex = nullptr;
    decltype(&::W_Get_Progress_Status) W_Get_Progress_Status = nullptr;
    decltype(&::W_Support_ENL) W_Support_ENL = nullptr;
    decltype(&::W_Enable_ENL) W_Enable_ENL = nullptr;
    decltype(&::Load_CMOS_Default) Load_CMOS_Default = nullptr;
    decltype(&::IsUtilityActive) IsUtilityActive = nullptr;
    decltype(&::IsDualBiosSupported) IsDualBiosSupported = nullptr;
    decltype(&::ChangeDualBiosExport) ChangeDualBiosExport = nullptr;
    decltype(&::EpCheckOemid) EpCheckOemid = nullptr;
};

// Generous bound for waits on another thread; a healthy run needs milliseconds.
constexpr unsigned kWaitMs = 20000;

class FlashSimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes flashsim.ini beside the driver copy.
    void WriteBoardFile(const BoardFile& board) const;
    // Writes the board file and loads it; fails the test when it is refused.
    void UseBoard(const BoardFile& board);

    std::string DriverFile(const std::string& name) const { return temp_.File(name); }
    Bytes FileBytes(const std::string& name) const;
    void SetFileBytes(const std::string& name, const Bytes& bytes) const;
    std::vector<std::string> JournalLines() const;
    std::string LastError() const { return driver_.FlashSim_LastError(); }

    // The whole part as W_Flash_Read gives it, with a buffer one byte larger
    // than the part like the engine's.
    Bytes ReadFlash(unsigned size);

    TempDir temp_{"fsim"};
    HMODULE module_ = nullptr;
    FlashSimEntries driver_;
};

// size bytes that differ from each other and from the pattern of another seed.
Bytes Pattern(unsigned size, unsigned seed);
