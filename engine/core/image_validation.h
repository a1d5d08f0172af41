// Whether a placed image may be written to this board, and with which driver
// function. Portable: the two steps that need Windows (the PN.INI series check
// and the driver's IsUtilityActive) come in through ValidationHost.
#pragma once

#include <cstdint>
#include <optional>

#include "check_messages.h"

namespace vossel {

enum class WritePlan {
    kFlashWrite,                // W_Flash_Write
    kFlashWriteDualBios,        // W_Flash_Write_DualBios
    kFlashWriteExUefiOnAward,   // W_Flash_Write_Ex kind 1
    kFlashWriteExAwardOnUefi,   // W_Flash_Write_Ex kind 2, on the main part and then on the backup part
    kNoWriteCall,               // the driver's permission asks for no write
};

struct ValidationOutcome {
    bool accepted;
    WritePlan plan;               // when accepted
    const CheckMessage* refusal;  // when refused: shown once, OK button, no owner window
    // Award board only: the result of the "Award" search, which the engine
    // keeps in AwardFound. Empty for a UEFI board, which leaves AwardFound alone.
    std::optional<int> awardFound;
};

class ValidationHost {
public:
    virtual ~ValidationHost() = default;
    // PN.INI: 1 when the 8 bytes at imagePartNumber are the board's series code.
    virtual int CheckSeriesNumber(const char* boardPartNumber, const char* imagePartNumber) = 0;
    // The driver's IsUtilityActive: 0 when this program is too old for the
    // image; otherwise *utilityPermission (cleared before the call) says how
    // the image may be written.
    virtual int IsUtilityActive(const uint8_t* image, uint32_t length, uint8_t* utilityPermission) = 0;
};

// The image is the first size (= FlashSize) bytes of the buffer, its end at
// the buffer's offset FlashSize. boardPartNumber is the board's BiosPartNumber
// text; 8 bytes of it are compared.
//
// Award board (BiosType 1): an Award image must carry the board's part number
// (W_Flash_Write); otherwise a UEFI image must pass the series check
// (W_Flash_Write_Ex kind 1). The engine restores the board mode on a refusal.
ValidationOutcome ValidateAwardBoardImage(const uint8_t* image, uint32_t size, const char* boardPartNumber,
                                          ValidationHost& host);

// UEFI board (BiosType 3): a UEFI image must carry the board's part number,
// the driver must allow it and the board protection rule must let it pass;
// the driver's permission picks the write. Otherwise an Award image must pass
// the series check (W_Flash_Write_Ex kind 2 on both parts).
ValidationOutcome ValidateUefiBoardImage(const uint8_t* image, uint32_t size, const char* boardPartNumber,
                                         ValidationHost& host);

}  // namespace vossel
