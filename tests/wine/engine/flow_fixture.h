// The update and save flows in process: the engine on the simulated board,
// boxes and dialogs answered by scripts, the restart recorded instead of
// requested from the system.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "scripted_dialogs.h"

struct RestartRequest {
    UINT flags;
    DWORD reason;
    bool shutdownPrivilegeEnabled;  // in the process token when asked
    int busy;                       // Engine.Busy when asked
};

// Installs itself as the engine's restart requester while it lives.
class RecordedRestarts {
public:
    RecordedRestarts();
    ~RecordedRestarts();
    RecordedRestarts(const RecordedRestarts&) = delete;
    RecordedRestarts& operator=(const RecordedRestarts&) = delete;

    std::vector<RestartRequest> Requests() const;
    void Clear();

private:
    static BOOL Record(UINT flags, DWORD reason);
};

// Whether the named privilege is enabled in the process token now.
bool PrivilegeEnabled(const char* name);

// The names in a folder (with its trailing backslash), but . and ..
std::vector<std::string> FolderNames(const std::string& folder);

// A folder the small_disks fixture mounted, as Wine sees it: "full", a
// filesystem of 256 KiB that holds an older backup of 100 KiB, or "readonly",
// a read-only one holding a file. Empty when the fixture could not mount it
// (it needs root).
std::string SmallDisk(const char* name);

// Whether a thread other than the caller could take the engine's operation
// guard now (a Win32 mutex would let its owning thread in again, so the
// caller cannot tell).
bool GuardFreeForAnotherThread();

class FlowTest : public EngineTest {
protected:
    // Starts the engine on a board of that size, BIOS type and part number;
    // the main part (and a backup part, on a dual-BIOS board) hold old
    // content patterns, and the version files are read from the test folder.
    void StartBoard(uint32_t flashSize, int biosType, const char* partNumber, BoardFile extra = {});

    std::string Part() const { return ReadFileBytes(temp_.File("flash.bin")); }
    std::string BackupPart() const { return ReadFileBytes(temp_.File("flash_backup.bin")); }
    std::string OldPart() const { return old_part_; }
    std::string OldBackupPart() const { return old_backup_; }

    // Lays image as new.bin in the test folder; its path.
    std::string LayImage(const std::vector<uint8_t>& image, const char* name = "new.bin");
    void WritePnIni(const char* boardPart, const char* seriesPart);

    // The driver's journal lines of the given functions, in order, from
    // the point Clear() was last called.
    std::vector<std::string> Calls(std::initializer_list<const char*> functions) const;
    void ClearRecords();

    ScriptedDialogs dialogs_;
    RecordedRestarts restarts_;
    std::string old_part_;
    std::string old_backup_;
    size_t journal_mark_ = 0;
};

// The checks every flow ends with: Busy back at 0, the board mode as the
// board left start-up.
#define EXPECT_FLOW_IDLE(mode)              \
    do {                                    \
        EXPECT_EQ(Engine.Busy.load(), 0);   \
        EXPECT_EQ(Engine.BoardMode, (mode)); \
    } while (0)
