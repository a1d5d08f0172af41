#include "downloaded_image.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "bios_save.h"
#include "engine_state.h"
#include "flow_messages.h"

namespace {

template <typename... Args>
void ShowDownloadError(const char* format, Args... args) {
    char text[768];
    std::snprintf(text, sizeof text, format, args...);
    ShowCheckMessage(vossel::CheckMessage{text, vossel::kDownloadErrorCaption, vossel::kIconError});
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : path.substr(0, slash + 1);
}

// Why the file at path could not be saved, as things stand after the failed
// save; shortWrite when the writer's bytes did not all reach the disk.
const char* SaveFailureCause(const std::string& path, uint32_t length, bool shortWrite) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return vossel::kSaveCauseFolder;
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return vossel::kSaveCauseReadOnly;
        // A file open without delete sharing cannot be replaced.
        HANDLE probe = CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
            return vossel::kSaveCauseInUse;
        }
        if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    }
    ULARGE_INTEGER available{};
    if (shortWrite ||
        (GetDiskFreeSpaceExA(FolderOf(path).c_str(), &available, nullptr, nullptr) && available.QuadPart < length)) {
        return vossel::kSaveCauseDiskFull;
    }
    return vossel::kSaveCauseNotCreated;
}

// Whether the buffer holds what placing the downloaded bytes as a file gives,
// by the placement expected for them.
bool PlacedAsDownloaded(const vossel::PlacementDecision& expected, const std::vector<uint8_t>& downloaded,
                        const ImageBuffer& buffer) {
    if (expected.action == vossel::PlacementAction::kRefuse) return false;
    if (Engine.BoardMode != expected.boardMode || Engine.CurrentFlash.FlashSize != expected.flashSize) return false;
    if (!buffer || uint64_t{expected.offset} + expected.expectedSize > buffer.size()) return false;
    // The downloaded bytes as the load leaves a file of them in the buffer.
    std::vector<uint8_t> image(size_t{expected.expectedSize} + 1, 0);
    if (!downloaded.empty()) {
        const size_t copied = downloaded.size() < image.size() ? downloaded.size() : image.size();
        std::memcpy(image.data(), downloaded.data(), copied);
    }
    if (vossel::AdaptLoadedImage(image.data(), expected.expectedSize, downloaded.size()) == 0) return false;
    return std::memcmp(buffer.data() + expected.offset, image.data(), expected.expectedSize) == 0;
}

}  // namespace

bool SaveDownloadedImage(const uint8_t* image, uint32_t length, const std::string& path) {
    bool short_write = false;
    {
        // The writer's own message about the disk's space gives way to the
        // one below, which names the file.
        CheckMessageCapture writer_message;
        if (SaveRomImageFile(image, path.c_str(), length) == 0) return true;
        short_write = writer_message.message() != nullptr;
    }
    ShowDownloadError(vossel::kMsgDownloadNotSavedFormat, path.c_str(), SaveFailureCause(path, length, short_write));
    return false;
}

bool PlaceDownloadedImageFile(vossel::UpdatePath path, const char* file, const std::vector<uint8_t>& downloaded,
                              ImageBuffer& buffer) {
    const vossel::PlacementDecision expected = vossel::PlaceImageFile(
        path, Engine.BoardMode, Engine.CurrentFlash.FlashSize, uint32_t(downloaded.size()));
    if (!PlaceImageFile(path, file, buffer)) return false;
    if (PlacedAsDownloaded(expected, downloaded, buffer)) return true;
    ShowDownloadError(vossel::kMsgDownloadNotLoadedFormat, file);
    buffer.Release();
    RestoreBoardMode();
    return false;
}
