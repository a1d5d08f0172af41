// The simulated board as described by flashsim.ini: the records the driver
// reports, where the flash content lives, the driver's fixed answers, phase
// timing, injected failures and the journal path.
#pragma once

#include "records.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The driver's fifteen entry points, in binding order. Used to name journal
// lines and [Fail] keys.
enum class DriverFunction : int {
    W_Get_Flash_Info,
    W_Get_Bios_Info,
    W_Flash_Read,
    W_Flash_Write,
    W_Flash_Write_DualBios,
    W_Flash_Write_BackupBios,
    W_Flash_Write_Ex,
    W_Get_Progress_Status,
    W_Support_ENL,
    W_Enable_ENL,
    Load_CMOS_Default,
    IsUtilityActive,
    IsDualBiosSupported,
    ChangeDualBiosExport,
    EpCheckOemid,
};

constexpr const char* kDriverFunctionNames[] = {
    "W_Get_Flash_Info",       "W_Get_Bios_Info",       "W_Flash_Read",
    "W_Flash_Write",          "W_Flash_Write_DualBios", "W_Flash_Write_BackupBios",
    "W_Flash_Write_Ex",       "W_Get_Progress_Status", "W_Support_ENL",
    "W_Enable_ENL",           "Load_CMOS_Default",     "IsUtilityActive",
    "IsDualBiosSupported",    "ChangeDualBiosExport",  "EpCheckOemid",
};
constexpr size_t kDriverFunctionCount = sizeof(kDriverFunctionNames) / sizeof(kDriverFunctionNames[0]);
static_assert(kDriverFunctionCount == static_cast<size_t>(DriverFunction::EpCheckOemid) + 1,
              "one name per driver function");

constexpr const char* NameOf(DriverFunction function) {
    return kDriverFunctionNames[static_cast<int>(function)];
}

// How a board takes a write of half its part's size, given a pointer and
// that length L. Drivers read this call in different ways; the simulated one
// plays whichever the board file names.
enum class SizeAdaptation {
    kOff,    // only writes of the part's size (and no twice-size writes)
    kTop,    // the L bytes from the pointer fill the part's upper half
    kUpper,  // the L bytes from pointer + L fill the part's upper half
    kWhole,  // the 2L bytes from the pointer fill the whole part
};

// How the board reads its part.
enum class ShortRead {
    kOff,    // the whole part, its size in the count
    kCount,  // only the first half, and the count says so (success all the same)
    kZeros,  // the first half and zeros for the rest, the count the part's size
};

// Largest flash part the simulation accepts (64 MiB).
constexpr uint32_t kMaxFlashSize = 0x4000000;

struct BoardConfig {
    std::string iniPath;  // full path of the board file (it may be absent)

    // FLASH_INFO
    uint32_t flashSize = kFlashSize512K;
    std::string flashType = "SST 49LF004B (simulated)";
    std::array<uint8_t, 2> flashInfoBytes0{};   // record bytes 0-1
    std::array<uint8_t, 12> flashInfoBytes6{};  // record bytes 6-17

    // BIOS_INFO
    int32_t biosType = kBiosTypeAward;
    std::string biosPartNumber = "6A69VN01";
    std::string signOnMessage = "NORVANE 6A69VN01 Award Modular BIOS v6.00PG F5";

    // Flash content: full paths of the main and the backup part's files.
    std::string mainContent;
    std::string backupContent;  // beside the main part unless the board file names it
    uint32_t dmiOffset = 0;  // DMI data pool; length 0 means none
    uint32_t dmiLength = 0;
    // Writes of half or twice the part's size are taken too, as a board that
    // comes with either of two part sizes takes the image made for the other;
    // a half-size write is placed as the reading names.
    SizeAdaptation sizeAdaptedWrites = SizeAdaptation::kOff;
    // A driver that reports success for a read that delivered half the part.
    ShortRead shortReads = ShortRead::kOff;
    // A failing part: after each write has passed the driver's own verify,
    // one byte in the middle of the written range flips its lowest bit. The
    // write still reports success; only reading the part back shows it.
    bool corruptWrites = false;

    // Fixed answers of the board.
    bool dualBios = false;
    int32_t utilityActive = 1;
    uint8_t utilityPermission = 2;
    bool enlPresent = false;
    bool enlActive = false;
    int32_t loadCmosDefault = 1;
    int32_t epCheckOemid = 1;

    // Timing: duration of one read or write phase, and how long a hold set by
    // a test waits for its release before the operation goes on by itself.
    uint32_t phaseMillis = 0;
    uint32_t holdLimitMillis = 30000;

    std::array<bool, kDriverFunctionCount> fail{};
    // A read or write that reaches these progress figures fails there: it
    // returns 0 and the part keeps what the call had done until then (as a
    // part that stops taking bytes half-way). Status 0: none.
    uint32_t failAtStatus = 0;
    uint32_t failAtPercent = 0;

    std::string journalPath;  // full path

    bool Fails(DriverFunction function) const { return fail[static_cast<int>(function)]; }
    void FillFlashInfo(FLASH_INFO* record) const;
    void FillBiosInfo(BIOS_INFO* record) const;
};

struct BoardLoad {
    BoardConfig board;  // as far as it was read; usable only without error
    std::string error;  // empty when the board is usable
};

// Reads the board from iniPath (a full path). An absent file gives the default
// board unless mustExist is set. Relative content and journal paths count from
// moduleDir (ending with a backslash). Missing content files are created
// filled with 0xFF; an existing one of the wrong size is an error.
BoardLoad LoadBoardConfig(const std::string& iniPath, const std::string& moduleDir, bool mustExist);
