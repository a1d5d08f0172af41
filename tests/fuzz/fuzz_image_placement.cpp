// Properties of the placement rules. AdaptLoadedImage works on a buffer of
// exactly expected size + 1 bytes, so any write outside it is caught; it must
// take exactly the sizes it knows and move the data as its rules say. The
// board-mode decisions must never place an image, or a read of expected
// size + 1 bytes, outside the buffer they are given or ask for.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz_check.h"
#include "image_placement.h"
#include "records.h"

namespace {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t U8() { return position_ < size_ ? data_[position_++] : 0; }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v |= static_cast<uint32_t>(U8()) << (8 * i);
        }
        return v;
    }
    const uint8_t* rest() const { return data_ + position_; }
    size_t restSize() const { return position_ < size_ ? size_ - position_ : 0; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

uint32_t PickSize(Input& in, uint32_t related) {
    switch (in.U8() % 10) {
        case 0: return kFlashSize512K;
        case 1: return kFlashSize384K;
        case 2: return kFlashSize256K;
        case 3: return kFlashSize1M;
        case 4: return kFlashSize2M;
        case 5: return related;
        case 6: return related + 1;
        case 7: return related - 1;
        case 8: return in.U32() % 0x90000;
        default: return in.U32();
    }
}

void CheckAdaptLoadedImage(Input& in) {
    const uint32_t expected = in.U8() % 4 == 0 ? in.U32() % 0x90000 : kFlashSize512K;
    const size_t bytesRead = PickSize(in, expected);
    const size_t length = size_t{expected} + 1;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[length]);
    // The rest of the input, repeated, with every 1021st byte marking its
    // position so that a block moved to the wrong place shows.
    const size_t patternSize = std::min(std::max<size_t>(in.restSize(), 1), length);
    if (in.restSize() != 0) {
        std::memcpy(buffer.get(), in.rest(), patternSize);
    } else {
        buffer[0] = 0x5A;
    }
    for (size_t filled = patternSize; filled < length;) {
        const size_t count = std::min(filled, length - filled);
        std::memcpy(buffer.get() + filled, buffer.get(), count);
        filled += count;
    }
    for (size_t i = 0; i < length; i += 1021) {
        buffer[i] = static_cast<uint8_t>(i / 1021);
    }
    std::unique_ptr<uint8_t[]> before(new uint8_t[length]);
    std::memcpy(before.get(), buffer.get(), length);

    const int result = vossel::AdaptLoadedImage(buffer.get(), expected, bytesRead);

    const bool adapts = expected == kFlashSize512K &&
                        (bytesRead == kFlashSize384K || bytesRead == kFlashSize256K);
    FUZZ_CHECK(result == ((bytesRead == expected || adapts) ? 1 : 0));
    FUZZ_CHECK(buffer[expected] == before[expected]);
    if (result == 0 || bytesRead == expected) {
        FUZZ_CHECK(std::memcmp(buffer.get(), before.get(), length) == 0);
    } else if (bytesRead == kFlashSize384K) {
        for (size_t i = 0; i < 0x20000; ++i) {
            FUZZ_CHECK(buffer[i] == 0xFF);
        }
        FUZZ_CHECK(std::memcmp(buffer.get() + 0x20000, before.get(), kFlashSize384K) == 0);
    } else {
        FUZZ_CHECK(std::memcmp(buffer.get(), before.get(), kFlashSize256K) == 0);
        FUZZ_CHECK(std::memcmp(buffer.get() + kFlashSize256K, before.get(), kFlashSize256K) == 0);
    }
}

void CheckPlacementDecisions(Input& in) {
    using vossel::PlacementAction;
    const vossel::UpdatePath path = (in.U8() & 1) ? vossel::UpdatePath::kAward : vossel::UpdatePath::kUefi;
    const uint8_t modePick = in.U8();
    const int32_t mode = modePick < 240 ? modePick % 4 : static_cast<int32_t>(in.U32());
    const uint32_t flashSize = PickSize(in, kFlashSize1M);
    const uint32_t imageSize = PickSize(in, flashSize);
    const uint64_t ownBuffer = vossel::ImageBufferSize(path, mode, flashSize);
    FUZZ_CHECK(ownBuffer >= uint64_t{flashSize} + 1);
    // In a board mode on the Award path a mode left in force is undone first.
    const bool boardModes = path == vossel::UpdatePath::kAward && mode != 0;
    const vossel::BoardModeState board =
        boardModes ? vossel::RestoreBoardMode({mode, flashSize}) : vossel::BoardModeState{mode, flashSize};

    const vossel::PlacementDecision file = vossel::PlaceImageFile(path, mode, flashSize, imageSize);
    if (file.action == PlacementAction::kRefuse) {
        FUZZ_CHECK(file.refusal == &vossel::kMsgUnexpectedProblem && imageSize == 0 && mode != 0 &&
                   path == vossel::UpdatePath::kAward);
        FUZZ_CHECK(file.boardMode == board.boardMode && file.flashSize == board.flashSize);
    } else {
        FUZZ_CHECK(file.refusal == nullptr);
        // The image ends at offset FlashSize, and the read of expected + 1
        // bytes stays inside the buffer it goes to.
        FUZZ_CHECK(uint64_t{file.offset} + file.expectedSize == file.flashSize);
        const uint64_t available =
            file.action == PlacementAction::kEnlargeToMode2 ? file.newBufferSize : ownBuffer;
        FUZZ_CHECK(uint64_t{file.offset} + file.expectedSize + 1 <= available);
        FUZZ_CHECK((file.newBufferSize != 0) == (file.action == PlacementAction::kEnlargeToMode2));
        // A failure after the placement gives back the state a failure
        // before it would: no mode inherited from an earlier update changes
        // the real part size.
        const vossel::BoardModeState restored = vossel::RestoreBoardMode({file.boardMode, file.flashSize});
        const vossel::BoardModeState before = vossel::RestoreBoardMode({mode, flashSize});
        FUZZ_CHECK(restored.flashSize == before.flashSize);
        FUZZ_CHECK(restored.boardMode == before.boardMode || mode < 0 || mode > 3);  // only 0..3 ever occur
        // Mode 3 always puts a 1 MiB image in the upper half of a 2 MiB part.
        if (file.action == PlacementAction::kUpperHalfMode3) {
            FUZZ_CHECK(file.flashSize == kFlashSize2M && file.expectedSize == kFlashSize1M &&
                       file.offset == kFlashSize1M);
        }
    }

    const uint64_t bufferSize = (in.U8() & 1) ? ownBuffer : in.U32();
    const vossel::PlacementDecision memory =
        vossel::PlaceImageInMemory(path, mode, flashSize, imageSize, bufferSize);
    const uint64_t available =
        memory.action == PlacementAction::kEnlargeToMode2 ? memory.newBufferSize : bufferSize;
    if (memory.action == PlacementAction::kRefuse) {
        FUZZ_CHECK(memory.refusal == &vossel::kMsgCannotLoadImage);
        FUZZ_CHECK(memory.boardMode == board.boardMode && memory.flashSize == board.flashSize);
        // Refused only when it does not fit, or when it is not the part's
        // length where it would be copied to the start.
        FUZZ_CHECK(uint64_t{imageSize} > bufferSize || uint64_t{imageSize} + 0x100000 > bufferSize ||
                   imageSize != board.flashSize);
    } else {
        FUZZ_CHECK(memory.refusal == nullptr && memory.expectedSize == imageSize);
        FUZZ_CHECK(uint64_t{memory.offset} + imageSize <= available);
        if (memory.action == PlacementAction::kPlaceAtStart) FUZZ_CHECK(imageSize == memory.flashSize);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    if (in.U8() & 1) {
        CheckPlacementDecisions(in);
    } else {
        CheckAdaptLoadedImage(in);
    }
    return 0;
}
