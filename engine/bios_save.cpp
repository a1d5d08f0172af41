#include "bios_save.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "afx_file_dialog.h"
#include "engine_state.h"
#include "exclusive_operation.h"
#include "flow_messages.h"
#include "image_loading.h"

namespace {

constexpr char kSaveFileFilter[] =
    "BIOS file (*.bin)|*.bin|BIOS file (*.rom)|*.rom|Data file (*.dat)|*.dat|All Files (*.*)|*.*||";
constexpr DWORD kSaveFileFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
constexpr char kExplorerAdvancedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr char kHideFileExtValue[] = "HideFileExt";

// The saved file is closed a moment before the save is reported done.
constexpr DWORD kAfterSaveWaitMs = 400;

// Writes go out in slices, so a full disk shows as a short write early.
constexpr DWORD kWriteSlice = 1u << 20;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

// The path as the wide API takes it, made absolute; paths beyond MAX_PATH get
// the "\\?\" form so that their temporary sibling can be created as well.
std::wstring WidePath(const char* path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 1) return std::wstring();
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], length);
    wide.resize(length - 1);
    const DWORD full_length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (full_length == 0) return std::wstring();
    std::wstring full(full_length, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), full_length, &full[0], nullptr);
    if (written == 0 || written >= full_length) return std::wstring();
    full.resize(written);
    if (full.size() + 32 < MAX_PATH || full.compare(0, 4, L"\\\\?\\") == 0) return full;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// A new file in target's folder, opened for writing; its name in *name. The
// name is short (at most 17 characters, "~vs" and the process and attempt in
// hexadecimal), so any target whose own name fits the folder has a temporary
// sibling that fits too, however long the target's name is.
HANDLE CreateSibling(const std::wstring& target, std::wstring* name) {
    const size_t separator = target.find_last_of(L"\\/");
    const std::wstring folder = separator == std::wstring::npos ? std::wstring() : target.substr(0, separator + 1);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        wchar_t leaf[32];
        swprintf(leaf, sizeof leaf / sizeof leaf[0], L"~vs%lx-%x.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                 attempt);
        *name = folder + leaf;
        HANDLE file = CreateFileW(name->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return INVALID_HANDLE_VALUE;
}

bool WriteAll(HANDLE file, const uint8_t* buffer, uint32_t length) {
    uint32_t done = 0;
    while (done < length) {
        const DWORD slice = length - done < kWriteSlice ? length - done : kWriteSlice;
        DWORD written = 0;
        if (!WriteFile(file, buffer + done, slice, &written, nullptr) || written != slice) return false;
        done += slice;
    }
    return FlushFileBuffers(file) != FALSE;
}

// Busy and the status back to idle at the end of a save that got past its
// start.
void EndSave() {
    Engine.Busy = 0;
    Engine.ProgressStatus = 0;
}

// Copies a caller's path into SaveBIOS's target path; false when it does not
// fit (or is empty).
bool TakeTargetPath(const char* path, char (&target)[kSaveTargetPathSize]) {
    if (path == nullptr) return false;
    const size_t length = strnlen(path, kSaveTargetPathSize);
    if (length == 0 || length >= kSaveTargetPathSize) return false;
    std::memcpy(target, path, length + 1);
    return true;
}

enum class TargetChoice { kChosen, kCancelled, kUnusable };

// Asks for the target in the save dialog, with the extensions shown while it
// is open. A chosen path that does not fit is refused with a message.
TargetChoice AskTargetPath(char (&target)[kSaveTargetPathSize]) {
    const int switched_off = ShowFileExtensions();
    CFileDialog dialog(FALSE, "bin", nullptr, kSaveFileFlags, kSaveFileFilter, nullptr, 0, TRUE);
    const INT_PTR answer = dialog.DoModal();
    if (answer == IDOK) Engine.ProgressStatus = kStatusSaving;
    if (switched_off) SetHideFileExt(1);
    if (answer != IDOK) return TargetChoice::kCancelled;
    if (TakeTargetPath(dialog.GetPathName().c_str(), target)) return TargetChoice::kChosen;
    ShowCheckMessage(vossel::kMsgSavePathUnusable);
    return TargetChoice::kUnusable;
}

}  // namespace

int SaveRomImageFile(const uint8_t* buffer, const char* path, uint32_t length) {
    if (buffer == nullptr || path == nullptr) return 1;
    const std::wstring target = WidePath(path);
    if (target.empty()) return 1;
    // A read-only file or a folder of that name is not replaced, whatever
    // the filesystem beneath would allow.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return 1;
    }
    std::wstring partial;
    std::unique_ptr<void, HandleCloser> file(CreateSibling(target, &partial));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return 1;
    }
    const bool written = WriteAll(file.get(), buffer, length);
    const bool closed = CloseHandle(file.release()) != FALSE;
    if (!written || !closed) {
        DeleteFileW(partial.c_str());
        ShowCheckMessage(vossel::kMsgSaveWriteFailed);
        return 1;
    }
    if (!MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        // A target that cannot be replaced (read-only, a folder, in use) is
        // a file that cannot be created: no message, and it stays as it was.
        DeleteFileW(partial.c_str());
        return 1;
    }
    return 0;
}

int SetHideFileExt(DWORD value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kExplorerAdvancedKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return 0;
    const LONG status =
        RegSetValueExA(key, kHideFileExtValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 1 : 0;
}

int ShowFileExtensions() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kExplorerAdvancedKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
    // Four bytes are read whatever the value's type says.
    DWORD value = 0;
    DWORD size = sizeof value;
    const LONG status = RegQueryValueExA(key, kHideFileExtValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                                         &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || value == 0) return 0;
    return SetHideFileExt(0);
}

int __cdecl SaveBIOS(int mode, const char* path) {
    if (mode != 0 && mode != 1) return 0;
    ExclusiveOperation operation;
    if (!operation.owned()) {
        ShowCheckMessage(vossel::kMsgOperationRunning);
        return 0;
    }
    const uint32_t flash_size = Engine.CurrentFlash.FlashSize;
    ImageBuffer buffer;
    const bool allocated = buffer.Allocate(flash_size);
    Engine.Busy = 1;
    Engine.ProgressStatus = 0;
    Engine.ProgressPercent = 100;
    if (!allocated) {
        ShowCheckMessage(vossel::kMsgFailedToAllocate);
        Engine.Busy = 0;
        return 0;
    }

    char target[kSaveTargetPathSize] = {};
    if (mode == 0) {
        switch (AskTargetPath(target)) {
        case TargetChoice::kChosen: break;
        case TargetChoice::kCancelled:
            Engine.Busy = 0;  // the status stays as it was
            return 0;
        case TargetChoice::kUnusable:
            EndSave();
            return 0;
        }
    } else if (!TakeTargetPath(path, target)) {
        ShowCheckMessage(vossel::kMsgSavePathUnusable);
        EndSave();
        return 0;
    }

    // A read that delivered less than the part (the count says so) is no
    // backup, whatever the driver's result.
    unsigned count = flash_size;
    if (Engine.FlashDriver.W_Flash_Read(buffer.data(), &count) == 0 || count != flash_size ||
        SaveRomImageFile(buffer.data(), target, flash_size) != 0) {
        EndSave();
        return 0;
    }
    buffer.Release();
    Sleep(kAfterSaveWaitMs);
    if (mode == 0) ShowCheckMessage(vossel::kMsgSaveCompleted);
    EndSave();
    return 1;
}

uint8_t __cdecl SaveBiosEx(int, const char* path) {
    ExclusiveOperation operation;
    // The flash part is held by the operation that runs: it cannot be read.
    if (!operation.owned()) return kSaveExReadFailed;
    const uint32_t flash_size = Engine.CurrentFlash.FlashSize;
    unsigned count = flash_size;
    Engine.Busy = 1;
    Engine.ProgressStatus = 0;
    Engine.ProgressPercent = 100;
    ImageBuffer buffer;
    if (!buffer.Allocate(flash_size)) {
        Engine.Busy = 0;
        return kSaveExNoBuffer;
    }
    // The file holds the whole part or nothing: a read whose count differs
    // from the part's size (a short read the driver calls a success) is a
    // failed read, never a backup of another length.
    if (Engine.FlashDriver.W_Flash_Read(buffer.data(), &count) == 0 || count != flash_size) {
        EndSave();
        return kSaveExReadFailed;
    }
    if (path == nullptr || SaveRomImageFile(buffer.data(), path, flash_size) != 0) {
        EndSave();
        return kSaveExWriteFailed;
    }
    Sleep(kAfterSaveWaitMs);
    buffer.Release();
    EndSave();
    return kSaveExWritten;
}
