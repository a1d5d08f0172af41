// Image files and the image buffer: reading a file into the buffer with the
// size adaptations, and placing an image from a file or from memory for the
// board mode in force, with the refusal messages where they are decided.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "check_messages.h"
#include "image_placement.h"

// The heap buffer of one update or save. Zero-filled when taken; released
// when the owner lets go of it, on every way out.
class ImageBuffer {
public:
    ImageBuffer() = default;
    // False when the memory could not be had.
    bool Allocate(uint64_t size);
    void Release();

    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    uint64_t size() const { return size_; }
    explicit operator bool() const { return bytes_ != nullptr; }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    uint64_t size_ = 0;
};

// 1 when buffer now holds an image of expectedSize bytes read from path (with
// the 384 KiB and 256 KiB adaptations for a 512 KiB part), else 0. The buffer
// must hold expectedSize + 1 bytes: one more byte is read to tell a file that
// is too long.
int LoadImageFile(const char* path, uint8_t* buffer, uint32_t expectedSize);

// The file's length in bytes; 0 when it cannot be opened (or is empty).
uint32_t GetImageFileSize(const char* path);

// Shows one of the engine's check messages: no owner window, an OK button.
// While a CheckMessageCapture lives on the calling thread, the first message
// is kept there instead and nothing is shown.
void ShowCheckMessage(const vossel::CheckMessage& message);

class CheckMessageCapture {
public:
    CheckMessageCapture();
    ~CheckMessageCapture();
    CheckMessageCapture(const CheckMessageCapture&) = delete;
    CheckMessageCapture& operator=(const CheckMessageCapture&) = delete;
    // The first message the checks ended in, nullptr when none.
    const vossel::CheckMessage* message() const { return message_; }
    void Keep(const vossel::CheckMessage& message);

private:
    const vossel::CheckMessage* message_ = nullptr;
    CheckMessageCapture* outer_;
};

// Places the image file at path into buffer for an update on path, as the
// board mode asks: may enter BoardMode 2 (FlashSize doubled, a new buffer) or
// 3. On failure shows its message, releases the buffer, returns the board mode
// and FlashSize to where they were (mode 1 after 2 or 3) and returns false.
bool PlaceImageFile(vossel::UpdatePath path, const char* file, ImageBuffer& buffer);

// The same for an image of length bytes given in memory.
bool PlaceImageInMemory(vossel::UpdatePath path, const uint8_t* image, uint32_t length, ImageBuffer& buffer);

// After a refused or failed update on the Award path: BoardMode 2 returns to
// 1 with FlashSize halved, 3 returns to 1.
void RestoreBoardMode();
