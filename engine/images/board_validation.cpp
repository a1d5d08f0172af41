#include "board_validation.h"

#include "engine_state.h"
#include "version_files.h"

namespace {

// The steps of the decision that need Windows: PN.INI beside the engine and
// the driver's verdict on the image.
class EngineValidationHost : public vossel::ValidationHost {
public:
    int CheckSeriesNumber(const char* boardPartNumber, const char* imagePartNumber) override {
        // The record's field names the PN.INI section as text of at most 8
        // characters, whatever the driver left in its ninth byte.
        return ::CheckSeriesNumber(BoardPartNumberText(boardPartNumber).c_str(), imagePartNumber);
    }
    int IsUtilityActive(const uint8_t* image, uint32_t length, uint8_t* utilityPermission) override {
        // The driver takes a writable pointer but only reads the image.
        return Engine.FlashDriver.IsUtilityActive(const_cast<uint8_t*>(image), length, utilityPermission);
    }
};

}  // namespace

bool ValidatePlacedImage(vossel::UpdatePath path, ImageBuffer& buffer, vossel::WritePlan* plan) {
    const uint32_t size = Engine.CurrentFlash.FlashSize;
    // The record's 8 bytes take part in the comparisons as they stand, a
    // terminator of a shorter part number included.
    const char* board_part_number = Engine.CurrentBios.BiosPartNumber;
    EngineValidationHost host;
    vossel::ValidationOutcome outcome;
    if (!buffer || buffer.size() < size) {
        // Nothing was placed for this size: never look past the buffer.
        outcome = {false, vossel::WritePlan::kNoWriteCall, &vossel::kMsgCannotLoadImage, std::nullopt};
    } else if (path == vossel::UpdatePath::kAward) {
        Engine.AwardFound = 0;
        outcome = vossel::ValidateAwardBoardImage(buffer.data(), size, board_part_number, host);
    } else {
        outcome = vossel::ValidateUefiBoardImage(buffer.data(), size, board_part_number, host);
    }
    if (outcome.awardFound) Engine.AwardFound = *outcome.awardFound;

    if (!outcome.accepted) {
        ShowCheckMessage(*outcome.refusal);
        buffer.Release();
        if (path == vossel::UpdatePath::kAward) RestoreBoardMode();
        return false;
    }
    *plan = outcome.plan;
    return true;
}
