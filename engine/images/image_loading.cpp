#include "image_loading.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "engine_state.h"
#include "message_box.h"

using vossel::CheckMessage;
using vossel::PlacementAction;
using vossel::PlacementDecision;

namespace {

UINT IconFlags(vossel::MessageIcon icon) {
    switch (icon) {
    case vossel::kIconNone: return 0;
    case vossel::kIconError: return MB_ICONERROR;
    case vossel::kIconInformation: return MB_ICONINFORMATION;
    case vossel::kIconWarning: return MB_ICONWARNING;
    }
    return 0;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Refuses a placement: the message, the buffer released, the board mode back.
bool RefusePlacement(const CheckMessage& message, ImageBuffer& buffer) {
    ShowCheckMessage(message);
    buffer.Release();
    RestoreBoardMode();
    return false;
}

// Applies a placement decision's board mode and size, and for mode 2 trades
// the buffer for one of the doubled size. False (with the message shown) when
// that memory cannot be had.
bool EnterPlacement(const PlacementDecision& decision, ImageBuffer& buffer) {
    Engine.BoardMode = decision.boardMode;
    Engine.CurrentFlash.FlashSize = decision.flashSize;
    if (decision.action != PlacementAction::kEnlargeToMode2) return true;
    buffer.Release();
    if (!buffer.Allocate(decision.newBufferSize)) {
        return RefusePlacement(vossel::kMsgMemoryAllocateFailed, buffer);
    }
    return true;
}

}  // namespace

bool ImageBuffer::Allocate(uint64_t size) {
    Release();
    if (size == 0 || size > SIZE_MAX) return false;
    bytes_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size)]());
    if (!bytes_) return false;
    size_ = size;
    return true;
}

void ImageBuffer::Release() {
    bytes_.reset();
    size_ = 0;
}

int LoadImageFile(const char* path, uint8_t* buffer, uint32_t expectedSize) {
    File file(std::fopen(path, "rb"));
    if (!file) return 0;
    const size_t read = std::fread(buffer, 1, static_cast<size_t>(expectedSize) + 1, file.get());
    file.reset();
    return vossel::AdaptLoadedImage(buffer, expectedSize, read);
}

uint32_t GetImageFileSize(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    LARGE_INTEGER size{};
    const BOOL known = GetFileSizeEx(file, &size);
    CloseHandle(file);
    if (!known) return 0;
    // A file of 4 GiB or more is no image of any flash part; report a size no
    // part has rather than a wrapped-around one that might match.
    if (size.QuadPart > 0xFFFFFFFFLL) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(size.QuadPart);
}

namespace {
thread_local CheckMessageCapture* t_capture = nullptr;
}  // namespace

CheckMessageCapture::CheckMessageCapture() : outer_(t_capture) { t_capture = this; }

CheckMessageCapture::~CheckMessageCapture() { t_capture = outer_; }

void CheckMessageCapture::Keep(const CheckMessage& message) {
    if (message_ == nullptr) message_ = &message;
}

void ShowCheckMessage(const CheckMessage& message) {
    if (t_capture != nullptr) {
        t_capture->Keep(message);
        return;
    }
    AfxShowMessageBox(nullptr, message.text, message.caption, MB_OK | IconFlags(message.icon));
}

void RestoreBoardMode() {
    const vossel::BoardModeState restored =
        vossel::RestoreBoardMode({Engine.BoardMode, Engine.CurrentFlash.FlashSize});
    Engine.BoardMode = restored.boardMode;
    Engine.CurrentFlash.FlashSize = restored.flashSize;
}

bool PlaceImageFile(vossel::UpdatePath path, const char* file, ImageBuffer& buffer) {
    const PlacementDecision decision =
        vossel::PlaceImageFile(path, Engine.BoardMode, Engine.CurrentFlash.FlashSize, GetImageFileSize(file));
    if (decision.action == PlacementAction::kRefuse) return RefusePlacement(*decision.refusal, buffer);
    if (!EnterPlacement(decision, buffer)) return false;
    if (!buffer || decision.offset + static_cast<uint64_t>(decision.expectedSize) + 1 > buffer.size() ||
        !LoadImageFile(file, buffer.data() + decision.offset, decision.expectedSize)) {
        return RefusePlacement(vossel::kMsgCannotLoadImage, buffer);
    }
    return true;
}

bool PlaceImageInMemory(vossel::UpdatePath path, const uint8_t* image, uint32_t length, ImageBuffer& buffer) {
    const PlacementDecision decision = vossel::PlaceImageInMemory(path, Engine.BoardMode,
                                                                  Engine.CurrentFlash.FlashSize, length, buffer.size());
    if (decision.action == PlacementAction::kRefuse) return RefusePlacement(*decision.refusal, buffer);
    if (!EnterPlacement(decision, buffer)) return false;
    if (!buffer || decision.offset + static_cast<uint64_t>(decision.expectedSize) > buffer.size()) {
        return RefusePlacement(vossel::kMsgCannotLoadImage, buffer);
    }
    std::memcpy(buffer.data() + decision.offset, image, decision.expectedSize);
    return true;
}
