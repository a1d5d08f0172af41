#include "checked_update.h"

#include <cstring>

#include "bios_save.h"
#include "board_validation.h"
#include "engine_state.h"
#include "exclusive_operation.h"
#include "flow_messages.h"
#include "image_loading.h"
#include "update_flow.h"

using vossel::UpdatePath;
using vossel::WritePlan;

namespace {

bool PathFor(UpdatePath* path) {
    switch (Engine.CurrentBios.BiosType) {
    case kBiosTypeAward: *path = UpdatePath::kAward; return true;
    case kBiosTypeAmiUefi: *path = UpdatePath::kUefi; return true;
    default: return false;
    }
}

VosselCheck CheckOf(const vossel::CheckMessage* message) {
    using namespace vossel;
    if (message == &kMsgImagePathUnusable || message == &kMsgNoImageGiven) return kCheckPath;
    if (message == &kMsgAwardPartNumber || message == &kMsgUefiPartNumber) return kCheckPartNumber;
    if (message == &kMsgNewBiosType || message == &kMsgBiosVendor) return kCheckFamily;
    if (message == &kMsgSeriesNumber) return kCheckSeries;
    if (message == &kMsgUpdateUtility) return kCheckProgramVersion;
    if (message == &kMsgProtectedByDriver) return kCheckDriverPermission;
    if (message == &kMsgProtectedByRule) return kCheckProtectionDate;
    return kCheckSize;  // the placement's refusals: size, memory, an unreadable file
}

VosselPlan PlanOf(WritePlan plan) {
    switch (plan) {
    case WritePlan::kFlashWrite: return kPlanFlashWrite;
    case WritePlan::kFlashWriteExUefiOnAward: return kPlanUefiImageOnAwardBoard;
    case WritePlan::kFlashWriteDualBios: return kPlanDualBios;
    case WritePlan::kFlashWriteExAwardOnUefi: return kPlanAwardImageOnUefiBoard;
    case WritePlan::kNoWriteCall: return kPlanNoWriteCall;
    }
    return kPlanNone;
}

// What FlashBIOS(2, path) would do with the file, without a word to the
// user. The image is left in buffer and the board mode in force: the caller
// restores it.
struct Placed {
    bool accepted = false;
    const vossel::CheckMessage* refusal = nullptr;
    WritePlan plan = WritePlan::kNoWriteCall;
};

Placed PlaceAndValidate(const char* file, ImageBuffer& buffer) {
    Placed placed;
    CheckMessageCapture capture;
    UpdatePath path;
    if (!PathFor(&path)) {
        placed.refusal = &vossel::kMsgNewBiosType;
        return placed;
    }
    const size_t length = file != nullptr ? strnlen(file, kImagePathSize) : 0;
    if (length == 0 || length >= kImagePathSize) {
        placed.refusal = file == nullptr ? &vossel::kMsgNoImageGiven : &vossel::kMsgImagePathUnusable;
        return placed;
    }
    if (!buffer.Allocate(vossel::ImageBufferSize(path, Engine.BoardMode, Engine.CurrentFlash.FlashSize))) {
        placed.refusal = &vossel::kMsgFailedToAllocate;
        return placed;
    }
    placed.accepted = PlaceImageFile(path, file, buffer) && ValidatePlacedImage(path, buffer, &placed.plan);
    placed.refusal = capture.message();
    return placed;
}

}  // namespace

int __cdecl CheckBiosImage(const char* path, VosselImageCheck* result) {
    if (result == nullptr || result->size != sizeof(VosselImageCheck)) return 0;
    std::memset(reinterpret_cast<char*>(result) + sizeof result->size, 0, sizeof *result - sizeof result->size);
    ExclusiveOperation operation;
    if (!operation.owned()) {
        result->failedCheck = kCheckBusy;
        lstrcpynA(result->message, vossel::kMsgOperationRunning.text, sizeof result->message);
        lstrcpynA(result->caption, vossel::kMsgOperationRunning.caption, sizeof result->caption);
        return 0;
    }
    ImageBuffer buffer;
    const Placed placed = PlaceAndValidate(path, buffer);
    result->boardMode = Engine.BoardMode;
    const bool upper_half = Engine.BoardMode == vossel::kBoardModeUpperHalf;
    result->writeLength = upper_half ? Engine.CurrentFlash.FlashSize / 2 : Engine.CurrentFlash.FlashSize;
    RestoreBoardMode();
    if (!placed.accepted) {
        result->failedCheck = CheckOf(placed.refusal);
        result->writeLength = 0;
        if (placed.refusal != nullptr) {
            lstrcpynA(result->message, placed.refusal->text, sizeof result->message);
            lstrcpynA(result->caption, placed.refusal->caption, sizeof result->caption);
        }
        return 0;
    }
    result->plan = PlanOf(placed.plan);
    result->writable = 1;
    return 1;
}

int __cdecl VerifyBiosImage(const char* path, unsigned* firstDifference) {
    ExclusiveOperation operation;
    if (!operation.owned()) return -1;
    const uint32_t part_size = Engine.CurrentFlash.FlashSize;
    ImageBuffer image;
    const Placed placed = PlaceAndValidate(path, image);
    const int32_t mode = Engine.BoardMode;
    RestoreBoardMode();
    if (!placed.accepted) return -1;

    ImageBuffer part;
    if (!part.Allocate(uint64_t{part_size} + 1)) return -1;
    unsigned count = part_size;
    Engine.Busy = 1;
    Engine.ProgressStatus = 0;
    Engine.ProgressPercent = 100;
    const int read = Engine.FlashDriver.W_Flash_Read(part.data(), &count);
    Engine.Busy = 0;
    Engine.ProgressStatus = 0;
    // A read whose count is not the part's size delivered no part to compare.
    if (read == 0 || count != part_size) return -1;

    // Where the written bytes land: in mode 3 the image fills the part's upper
    // half, in mode 2 the part takes the doubled image's upper half.
    uint32_t from = 0;
    const uint8_t* expected = image.data();
    if (mode == vossel::kBoardModeUpperHalf) {
        from = part_size / 2;
        expected = image.data() + from;
    } else if (mode == vossel::kBoardModeEnlarged) {
        expected = image.data() + part_size;
    }
    for (uint32_t offset = from; offset < part_size; ++offset) {
        if (part.data()[offset] != expected[offset - from]) {
            if (firstDifference != nullptr) *firstDifference = offset;
            return 0;
        }
    }
    return 1;
}

uint8_t __cdecl SaveBiosQuiet(const char* path) {
    CheckMessageCapture capture;
    return SaveBiosEx(0, path);
}
