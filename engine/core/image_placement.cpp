#include "image_placement.h"

#include <algorithm>
#include <cstring>

#include "records.h"

namespace vossel {
namespace {

constexpr uint32_t kAdaptedBlock = 0x20000;  // 128 KiB
constexpr uint8_t kErasedByte = 0xFF;
constexpr uint64_t kBoardModeBufferSize = uint64_t{kFlashSize4M} + 1;

PlacementDecision Refuse(const CheckMessage& message, int32_t boardMode, uint32_t flashSize) {
    return {PlacementAction::kRefuse, &message, boardMode, flashSize, 0, 0, 0};
}

PlacementDecision AtStart(int32_t boardMode, uint32_t flashSize, uint32_t size) {
    return {PlacementAction::kPlaceAtStart, nullptr, boardMode, flashSize, 0, 0, size};
}

// The two size pairs that change the board mode, given an image of size bytes.
PlacementDecision BoardModePlacement(int32_t boardMode, uint32_t flashSize, uint32_t size, uint32_t sizeAtStart) {
    if (flashSize == kFlashSize1M && size == kFlashSize2M) {
        return {PlacementAction::kEnlargeToMode2, nullptr, kBoardModeEnlarged, size, uint64_t{size} + 1, 0, size};
    }
    if (flashSize == kFlashSize2M && size == kFlashSize1M) {
        return {PlacementAction::kUpperHalfMode3, nullptr, kBoardModeUpperHalf, flashSize, 0, kFlashSize1M,
                flashSize / 2};
    }
    return AtStart(boardMode, flashSize, sizeAtStart);
}

bool BoardModeApplies(UpdatePath path, int32_t boardMode) {
    return path == UpdatePath::kAward && boardMode != kBoardModeNone;
}

}  // namespace

int AdaptLoadedImage(uint8_t* buffer, uint32_t expectedSize, size_t bytesRead) {
    if (bytesRead == expectedSize) {
        return 1;
    }
    if (expectedSize != kFlashSize512K) {
        return 0;
    }
    if (bytesRead == kFlashSize384K) {
        // Highest block first, so no block overwrites data still to be moved.
        std::memcpy(buffer + 3 * kAdaptedBlock, buffer + 2 * kAdaptedBlock, kAdaptedBlock);
        std::memcpy(buffer + 2 * kAdaptedBlock, buffer + kAdaptedBlock, kAdaptedBlock);
        std::memcpy(buffer + kAdaptedBlock, buffer, kAdaptedBlock);
        std::memset(buffer, kErasedByte, kAdaptedBlock);
        return 1;
    }
    if (bytesRead == kFlashSize256K) {
        std::memcpy(buffer + kFlashSize256K, buffer, kFlashSize256K);
        return 1;
    }
    return 0;
}

uint64_t ImageBufferSize(UpdatePath path, int32_t boardMode, uint32_t flashSize) {
    const uint64_t imageAndGuard = uint64_t{flashSize} + 1;
    // The flow clears and loads FlashSize + 1 bytes, so the board-mode buffer
    // never gets smaller than that, whatever part the driver reports.
    return BoardModeApplies(path, boardMode) ? std::max(kBoardModeBufferSize, imageAndGuard) : imageAndGuard;
}

PlacementDecision PlaceImageFile(UpdatePath path, int32_t boardMode, uint32_t flashSize, uint32_t fileSize) {
    if (!BoardModeApplies(path, boardMode)) {
        return AtStart(boardMode, flashSize, flashSize);
    }
    const BoardModeState board = RestoreBoardMode({boardMode, flashSize});  // no mode inherited
    if (fileSize == 0) {
        return Refuse(kMsgUnexpectedProblem, board.boardMode, board.flashSize);
    }
    return BoardModePlacement(board.boardMode, board.flashSize, fileSize, board.flashSize);
}

PlacementDecision PlaceImageInMemory(UpdatePath path, int32_t boardMode, uint32_t flashSize, uint32_t length,
                                     uint64_t bufferSize) {
    const bool boardModes = BoardModeApplies(path, boardMode);
    const BoardModeState board =
        boardModes ? RestoreBoardMode({boardMode, flashSize}) : BoardModeState{boardMode, flashSize};
    const PlacementDecision decision = boardModes
                                           ? BoardModePlacement(board.boardMode, board.flashSize, length, length)
                                           : AtStart(board.boardMode, board.flashSize, length);
    // The driver is handed the whole part's worth of the buffer: an image of
    // any other length would be written cut off or padded with zero bytes.
    if (decision.action == PlacementAction::kPlaceAtStart && length != board.flashSize) {
        return Refuse(kMsgCannotLoadImage, board.boardMode, board.flashSize);
    }
    const uint64_t available =
        decision.action == PlacementAction::kEnlargeToMode2 ? decision.newBufferSize : bufferSize;
    if (uint64_t{decision.offset} + length > available) {
        return Refuse(kMsgCannotLoadImage, board.boardMode, board.flashSize);
    }
    return decision;
}

BoardModeState RestoreBoardMode(BoardModeState state) {
    switch (state.boardMode) {
        case kBoardModeEnlarged:
            return {kBoardModeRecognised, state.flashSize / 2};
        case kBoardModeUpperHalf:
            return {kBoardModeRecognised, state.flashSize};
        default:
            return state;
    }
}

}  // namespace vossel
