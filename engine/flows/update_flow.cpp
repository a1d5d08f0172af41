#include "update_flow.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "afx_file_dialog.h"
#include "board_validation.h"
#include "downloaded_image.h"
#include "engine_state.h"
#include "exclusive_operation.h"
#include "flow_messages.h"
#include "image_loading.h"
#include "message_dialogs.h"
#include "server_update.h"
#include "system_restart.h"
#include "version_files.h"

using vossel::UpdatePath;
using vossel::WritePlan;

namespace {

constexpr char kOpenFileFilter[] =
    "All Files (*.*)|*.*|BIOS file (*.bin)|*.bin|BIOS file (*.rom)|*.rom|Data file (*.dat)|*.dat||";
constexpr DWORD kOpenFileFlags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_EXPLORER;

// The driver's write is given a moment before the CMOS defaults and the
// completion.
constexpr DWORD kAfterWriteWaitMs = 400;

// ChangeDualBiosExport's answer is the selector in force, in its low byte.
constexpr unsigned kMainPart = 0;
constexpr unsigned kBackupPart = 1;

bool IsInteractive(int source) { return source == kSourceServer || source == kSourcePickedFile; }

// Copies a path into the image path; false when it does not fit (or is empty).
bool TakeImagePath(const char* path, char (&imagePath)[kImagePathSize]) {
    if (path == nullptr) return false;
    const size_t length = strnlen(path, kImagePathSize);
    if (length == 0 || length >= kImagePathSize) return false;
    std::memcpy(imagePath, path, length + 1);
    return true;
}

// The image's file for the file sources, in imagePath. False (message shown
// where one is due) when there is none.
bool ObtainImageFile(int source, const char* path, ImageBuffer& buffer, char (&imagePath)[kImagePathSize],
                     std::vector<uint8_t>* downloaded) {
    switch (source) {
    case kSourceServer:
        return ObtainImageFromServer(buffer, imagePath, downloaded);
    case kSourcePickedFile: {
        CFileDialog dialog(TRUE, nullptr, nullptr, kOpenFileFlags, kOpenFileFilter, nullptr, 0, TRUE);
        if (dialog.DoModal() != IDOK) return false;
        if (TakeImagePath(dialog.GetPathName().c_str(), imagePath)) return true;
        ShowCheckMessage(vossel::kMsgImagePathUnusable);
        return false;
    }
    case kSourceGivenFile:
        if (path == nullptr) {
            ShowCheckMessage(vossel::kMsgNoImageGiven);
            return false;
        }
        if (TakeImagePath(path, imagePath)) return true;
        ShowCheckMessage(vossel::kMsgImagePathUnusable);
        return false;
    }
    return false;
}

// An Award image on a UEFI board goes to the main part and then to the
// backup part. False when a write failed; a failed switch is reported and
// the update goes on.
bool WriteBothParts(uint8_t* image, uint32_t length, int keepDmi) {
    FlashDriverTable& driver = Engine.FlashDriver;
    if (driver.W_Flash_Write_Ex(image, length, keepDmi, 2) == 0) return false;
    if ((driver.ChangeDualBiosExport(kBackupPart) & 0xFF) != kBackupPart) {
        ShowCheckMessage(vossel::kMsgFlashBackupFailed);
        return true;
    }
    if (driver.W_Flash_Write_Ex(image, length, keepDmi, 2) == 0) {
        // Later reads and writes must not land on the backup part.
        driver.ChangeDualBiosExport(kMainPart);
        return false;
    }
    if ((driver.ChangeDualBiosExport(kMainPart) & 0xFF) != kMainPart) ShowCheckMessage(vossel::kMsgFlashMainFailed);
    return true;
}

// Writes the validated image by the plan; false when a driver write failed.
bool WriteImage(UpdatePath path, WritePlan plan, uint8_t* buffer, int keepDmi) {
    FlashDriverTable& driver = Engine.FlashDriver;
    const uint32_t flash_size = Engine.CurrentFlash.FlashSize;
    if (path == UpdatePath::kAward) {
        // In board mode 3 the 1 MiB image lies in the upper half of the
        // 2 MiB area; the driver gets the area's start and half the part's
        // size. Drivers differ in which bytes they take for that call (the
        // first half, the second half, or both over the whole part), so the
        // image is put in both halves: each reading then writes the image
        // to the top of the part.
        const bool upper_half = Engine.BoardMode == vossel::kBoardModeUpperHalf;
        const uint32_t length = upper_half ? flash_size / 2 : flash_size;
        if (upper_half) std::memcpy(buffer, buffer + length, length);
        switch (plan) {
        case WritePlan::kFlashWrite: return driver.W_Flash_Write(buffer, length, keepDmi) != 0;
        case WritePlan::kFlashWriteExUefiOnAward: return driver.W_Flash_Write_Ex(buffer, length, keepDmi, 1) != 0;
        case WritePlan::kFlashWriteDualBios:
        case WritePlan::kFlashWriteExAwardOnUefi:
        case WritePlan::kNoWriteCall: return true;  // not plans of an Award board
        }
        return true;
    }
    switch (plan) {
    case WritePlan::kFlashWriteDualBios: return driver.W_Flash_Write_DualBios(buffer, flash_size, keepDmi) != 0;
    case WritePlan::kFlashWrite: return driver.W_Flash_Write(buffer, flash_size, keepDmi) != 0;
    case WritePlan::kFlashWriteExAwardOnUefi: return WriteBothParts(buffer, flash_size, keepDmi);
    case WritePlan::kNoWriteCall:
    case WritePlan::kFlashWriteExUefiOnAward: return true;
    }
    return true;
}

// Whether the update ends with the completion message and a restart the user
// is not asked about, instead of the restart prompt.
bool RestartsWithoutAsking(UpdatePath path, WritePlan plan) {
    if (path == UpdatePath::kAward) {
        return Engine.BoardMode == vossel::kBoardModeEnlarged || Engine.BoardMode == vossel::kBoardModeUpperHalf ||
               plan == WritePlan::kFlashWriteExUefiOnAward;
    }
    return plan == WritePlan::kFlashWriteExAwardOnUefi;
}

void CompleteInteractiveUpdate(UpdatePath path, WritePlan plan) {
    if (RestartsWithoutAsking(path, plan)) {
        if (path == UpdatePath::kUefi) Engine.FlashDriver.Load_CMOS_Default();
        ShowCheckMessage(vossel::kMsgUpdateCompletedReboot);
        RestartComputer();
        return;
    }
    CMSG1 restart;
    if (restart.DoModal() == IDOK) RestartComputer();
}

// The update from its buffer on: obtain, place, validate, confirm, write,
// complete. Busy is 1 throughout; the caller clears it.
int RunUpdate(UpdatePath path, int source, const char* sourcePath, int keepDmi, int loadCmosDefaults,
              unsigned imageLength) {
    ImageBuffer buffer;
    if (!buffer.Allocate(vossel::ImageBufferSize(path, Engine.BoardMode, Engine.CurrentFlash.FlashSize))) {
        ShowCheckMessage(vossel::kMsgFailedToAllocate);
        return 0;
    }
    if (IsInteractive(source) &&
        CheckProgramVersion(BoardPartNumberText(Engine.CurrentBios.BiosPartNumber).c_str(), Engine.ProgramVersion) ==
            0) {
        ShowCheckMessage(vossel::kMsgUpdateUtility);
        return 0;
    }

    if (source == kSourceMemory) {
        if (sourcePath == nullptr) {
            ShowCheckMessage(vossel::kMsgNoImageGiven);
            return 0;
        }
        if (!PlaceImageInMemory(path, reinterpret_cast<const uint8_t*>(sourcePath), imageLength, buffer)) return 0;
    } else {
        char image_path[kImagePathSize] = {};
        std::vector<uint8_t> downloaded;
        if (!ObtainImageFile(source, sourcePath, buffer, image_path, &downloaded)) return 0;
        const bool placed = source == kSourceServer ? PlaceDownloadedImageFile(path, image_path, downloaded, buffer)
                                                    : PlaceImageFile(path, image_path, buffer);
        if (!placed) return 0;
    }

    WritePlan plan;
    if (!ValidatePlacedImage(path, buffer, &plan)) return 0;

    if (IsInteractive(source)) {
        lstrcpynA(ConfirmText, kUpdateConfirmText, sizeof ConfirmText);
        CMSG2 confirm;
        if (confirm.DoModal() != IDOK) {
            RestoreBoardMode();
            return 0;
        }
    }

    if (!WriteImage(path, plan, buffer.data(), keepDmi)) {
        RestoreBoardMode();
        return 0;
    }
    Sleep(kAfterWriteWaitMs);
    if (path == UpdatePath::kAward && plan == WritePlan::kFlashWrite && loadCmosDefaults != 0) {
        Engine.FlashDriver.Load_CMOS_Default();
    }
    buffer.Release();
    if (IsInteractive(source)) CompleteInteractiveUpdate(path, plan);
    // The size adaptation served this update only: from here on FlashSize is
    // the part's own size again, for the information exports, for saves and
    // for the next update.
    RestoreBoardMode();
    return 1;
}

}  // namespace

int __cdecl FlashBIOS(int source, const char* path, int keepDmi, int loadCmosDefaults, unsigned imageLength) {
    UpdatePath update_path;
    switch (Engine.CurrentBios.BiosType) {
    case kBiosTypeAward: update_path = UpdatePath::kAward; break;
    case kBiosTypeAmiUefi: update_path = UpdatePath::kUefi; break;
    default: return 1;  // no update path for this BIOS
    }
    if (source < kSourceServer || source > kSourceMemory) return 0;

    ExclusiveOperation operation;
    if (!operation.owned()) {
        ShowCheckMessage(vossel::kMsgOperationRunning);
        return 0;
    }
    Engine.Busy = 1;
    Engine.ProgressStatus = 0;
    Engine.ProgressPercent = 100;
    const int result = RunUpdate(update_path, source, path, keepDmi, loadCmosDefaults, imageLength);
    Engine.Busy = 0;
    return result;
}
