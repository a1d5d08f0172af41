#include "flow_fixture.h"

#include <cstdlib>
#include <thread>

#include "exclusive_operation.h"
#include "system_restart.h"
#include "test_images.h"

namespace {
std::mutex g_restart_mutex;
std::vector<RestartRequest> g_restart_requests;
}  // namespace

RecordedRestarts::RecordedRestarts() {
    Clear();
    SetRestartRequester(&RecordedRestarts::Record);
}

RecordedRestarts::~RecordedRestarts() { SetRestartRequester(nullptr); }

std::vector<RestartRequest> RecordedRestarts::Requests() const {
    std::lock_guard<std::mutex> lock(g_restart_mutex);
    return g_restart_requests;
}

void RecordedRestarts::Clear() {
    std::lock_guard<std::mutex> lock(g_restart_mutex);
    g_restart_requests.clear();
}

BOOL RecordedRestarts::Record(UINT flags, DWORD reason) {
    const RestartRequest request{flags, reason, PrivilegeEnabled("SeShutdownPrivilege"), Engine.Busy.load()};
    std::lock_guard<std::mutex> lock(g_restart_mutex);
    g_restart_requests.push_back(request);
    return TRUE;
}

bool PrivilegeEnabled(const char* name) {
    LUID luid;
    if (!LookupPrivilegeValueA(nullptr, name, &luid)) return false;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> bytes(size);
    bool enabled = false;
    if (size > 0 && GetTokenInformation(token, TokenPrivileges, bytes.data(), size, &size)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(bytes.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID& each = privileges->Privileges[i].Luid;
            if (each.LowPart == luid.LowPart && each.HighPart == luid.HighPart) {
                enabled = (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
            }
        }
    }
    CloseHandle(token);
    return enabled;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

std::string SmallDisk(const char* name) {
    const char* root = std::getenv("VOSSEL_SMALL_DISKS");
    if (root == nullptr || *root == '\0') return {};
    const std::string path = HostPathInWine(std::string(root) + "/" + name + "/");
    if (GetFileAttributesA((path + "ready").c_str()) == INVALID_FILE_ATTRIBUTES) return {};
    return path;
}

bool GuardFreeForAnotherThread() {
    bool free = false;
    std::thread probe([&] {
        HANDLE guard = CreateMutexA(nullptr, FALSE, kOperationGuardName);
        if (guard == nullptr) return;
        const DWORD taken = WaitForSingleObject(guard, 0);
        free = taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED;
        if (free) ReleaseMutex(guard);
        CloseHandle(guard);
    });
    probe.join();
    return free;
}

void FlowTest::StartBoard(uint32_t flashSize, int biosType, const char* partNumber, BoardFile extra) {
    extra["Flash"]["FlashSize"] = std::to_string(flashSize);
    extra["Bios"]["BiosType"] = std::to_string(biosType);
    extra["Bios"]["BiosPartNumber"] = partNumber;
    old_part_ = test_images::Pattern(flashSize, 11);
    old_backup_ = test_images::Pattern(flashSize, 12);
    WriteFileBytes(temp_.File("flash.bin"), old_part_);
    WriteFileBytes(temp_.File("flash_backup.bin"), old_backup_);
    ASSERT_TRUE(StartOnBoard(extra, true));
    lstrcpynA(Engine.ModuleDir, temp_.path().c_str(), sizeof Engine.ModuleDir);
    DeleteFileA(temp_.File("PN.INI").c_str());
    DeleteFileA(temp_.File("verinfo.ini").c_str());
    ClearRecords();
}

std::string FlowTest::LayImage(const std::vector<uint8_t>& image, const char* name) {
    WriteFileBytes(temp_.File(name), test_images::Bytes(image));
    return temp_.File(name);
}

void FlowTest::WritePnIni(const char* boardPart, const char* seriesPart) {
    WriteFileBytes(temp_.File("PN.INI"), std::string("[") + boardPart + "]\r\nPN=" + seriesPart + "\r\n");
}

std::vector<std::string> FlowTest::Calls(std::initializer_list<const char*> functions) const {
    const std::vector<std::string> journal = Journal();
    std::vector<std::string> calls;
    for (size_t i = journal_mark_; i < journal.size(); ++i) {
        for (const char* function : functions) {
            const std::string prefix = std::string(function) + " ";
            if (journal[i].compare(0, prefix.size(), prefix) == 0) calls.push_back(journal[i]);
        }
    }
    return calls;
}

void FlowTest::ClearRecords() {
    boxes_.Clear();
    dialogs_.Clear();
    restarts_.Clear();
    journal_mark_ = Journal().size();
}
