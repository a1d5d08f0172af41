#include "info_exports.h"

#include <cstring>

#include "engine_state.h"

namespace {

// Copies a text field of a record with its terminator. The driver filled the
// record, so the terminator is not trusted: at most the field's size is
// copied and the copy always ends with a zero byte.
template <size_t N>
void CopyRecordText(char* destination, const char (&field)[N]) {
    if (destination == nullptr) return;
    size_t length = strnlen(field, N - 1);
    std::memcpy(destination, field, length);
    destination[length] = '\0';
}

}  // namespace

void __cdecl Get_Flash_Info(void* record, unsigned size) {
    if (record == nullptr || size < kFlashInfoSize) return;
    std::memcpy(record, &Engine.CurrentFlash, kFlashInfoSize);
}

void __cdecl Get_Bios_Info(void* record, unsigned size) {
    if (record == nullptr || size < kBiosInfoSize) return;
    std::memcpy(record, &Engine.CurrentBios, kBiosInfoSize);
}

void __cdecl Get_Bios_InfoEx(char* signOn, char* partNumber, int* biosType) {
    CopyRecordText(signOn, Engine.CurrentBios.SignOnMessage);
    CopyRecordText(partNumber, Engine.CurrentBios.BiosPartNumber);
    if (biosType != nullptr) *biosType = Engine.CurrentBios.BiosType;
}

void __cdecl Get_Flash_InfoEx(char* flashType, int* flashSize) {
    CopyRecordText(flashType, Engine.CurrentFlash.FlashType);
    if (flashSize != nullptr) *flashSize = static_cast<int>(Engine.CurrentFlash.FlashSize);
}

void __cdecl Get_Progress_Status(int* status, int* percent, int* busy) {
    PollDriverProgress();
    if (status != nullptr) *status = Engine.ProgressStatus.load(std::memory_order_relaxed);
    if (percent != nullptr) *percent = Engine.ProgressPercent.load(std::memory_order_relaxed);
    if (busy != nullptr) *busy = Engine.Busy.load(std::memory_order_relaxed);
}

void __cdecl GetProgressStatusForHubrix(int* status, int* percent) {
    // While the engine downloads, the status reads "saving" (1) to this
    // caller and the driver is left alone.
    int reported_status = kStatusSaving;
    if (Engine.OwnProgress.load(std::memory_order_relaxed) == 0) {
        PollDriverProgress();
        reported_status = Engine.ProgressStatus.load(std::memory_order_relaxed);
    }
    if (status != nullptr) *status = reported_status;
    if (percent != nullptr) *percent = Engine.ProgressPercent.load(std::memory_order_relaxed);
}

void __cdecl About_Dlg() {}

int __cdecl LoadCMOSDefault() { return Engine.FlashDriver.Load_CMOS_Default(); }

int __cdecl IsDualBiosSupported() { return Engine.FlashDriver.IsDualBiosSupported(); }

int __cdecl ChangeDualBiosExport(uint8_t selector) {
    return Engine.FlashDriver.ChangeDualBiosExport(static_cast<unsigned>(selector));
}

int __cdecl CheckOemid(int a, int b) { return Engine.FlashDriver.EpCheckOemid(a, b); }
