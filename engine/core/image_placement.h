// Where an image goes in the image buffer: the size adaptations of a file read
// for 512 KiB parts, and the board-mode placement of files and of images in
// memory. Pure decisions; the engine does the file I/O, the allocations and
// the message boxes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "check_messages.h"

namespace vossel {

// The steps after a file of bytesRead bytes was read (at most
// expectedSize + 1 of them) into buffer, which holds at least
// expectedSize + 1 bytes:
// - bytesRead == expectedSize: 1, nothing moves;
// - a 384 KiB file for a 512 KiB image: the data moves 128 KiB up so that it
//   ends at the image end, and the first 128 KiB become 0xFF; 1;
// - a 256 KiB file for a 512 KiB image: the data is copied to 256 KiB, so the
//   image holds it twice; 1;
// - anything else (also bytesRead > expectedSize): 0, the buffer untouched.
// Nothing at or after buffer + expectedSize is written.
int AdaptLoadedImage(uint8_t* buffer, uint32_t expectedSize, size_t bytesRead);

enum class UpdatePath {
    kAward,  // BiosType 1
    kUefi,   // BiosType 3
};

// BoardMode values.
enum BoardModeValue : int32_t {
    kBoardModeNone = 0,        // any other board
    kBoardModeRecognised = 1,  // the recognised board, no adaptation in force
    kBoardModeEnlarged = 2,    // 1 MiB part given a 2 MiB image: FlashSize doubled
    kBoardModeUpperHalf = 3,   // 2 MiB part given a 1 MiB image in the buffer's upper half
};

// Bytes of the image buffer a flow allocates (and clears) before placing an
// image: 4 MiB + 1 on the Award path in a board mode, else FlashSize + 1.
// Never less than FlashSize + 1: a board-mode board that reports a part above
// 4 MiB gets a buffer of its flash size + 1 (a plain 4 MiB + 1 buffer would
// be overrun by the clearing and by the load at the flash size).
uint64_t ImageBufferSize(UpdatePath path, int32_t boardMode, uint32_t flashSize);

enum class PlacementAction {
    kRefuse,          // show refusal; the placement fails
    kEnlargeToMode2,  // BoardMode 2, FlashSize := image size, a new buffer of newBufferSize bytes, image at 0
    kUpperHalfMode3,  // BoardMode 3, image at 0x100000 with half the flash size
    kPlaceAtStart,    // image at offset 0 of the current buffer
};

struct PlacementDecision {
    PlacementAction action;
    const CheckMessage* refusal;  // kRefuse only
    int32_t boardMode;            // BoardMode from now on
    uint32_t flashSize;           // FlashSize from now on
    uint64_t newBufferSize;       // kEnlargeToMode2: bytes of the replacing buffer; else 0 (keep the buffer)
    uint32_t offset;              // where the image starts in the buffer
    uint32_t expectedSize;        // files: LoadImageFile's expected size; memory: bytes to copy
};

// Placement of an image file of fileSize bytes (GetImageFileSize). In a board
// mode on the Award path: an empty file is refused ("unexpected problem"), a
// 2 MiB file on a 1 MiB part enlarges to mode 2, a 1 MiB file on a 2 MiB part
// goes to the upper half in mode 3; otherwise the file is loaded at offset 0
// with the expected size FlashSize (a size mismatch then fails the load).
// A mode 2 or 3 still in force from an earlier update (one that succeeded
// without a restart) is undone first, so every placement starts from the
// board's real part size: mode 1 and FlashSize halved after mode 2. The
// decision's boardMode and flashSize are the state the engine holds from now
// on, also after a refusal.
PlacementDecision PlaceImageFile(UpdatePath path, int32_t boardMode, uint32_t flashSize, uint32_t fileSize);

// Placement of an image of length bytes given in memory, into the current
// buffer of bufferSize bytes. The same modes as for files; otherwise the
// image must be exactly as long as the part, the length the driver writes.
// Any other length, and an image that would not fit the buffer at its
// offset, is refused with the size-mismatch message "Can not load ROM image
// ..." instead of being written cut off, padded or copied past the buffer's
// end.
PlacementDecision PlaceImageInMemory(UpdatePath path, int32_t boardMode, uint32_t flashSize, uint32_t length,
                                     uint64_t bufferSize);

// Board mode and FlashSize after a failed or refused update on the Award
// path: mode 2 returns to 1 with FlashSize halved, mode 3 returns to 1,
// anything else stays.
struct BoardModeState {
    int32_t boardMode;
    uint32_t flashSize;
};
BoardModeState RestoreBoardMode(BoardModeState state);

}  // namespace vossel
