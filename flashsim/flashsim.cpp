// flash.dll, the simulated flash driver: a board described by flashsim.ini,
// flash parts kept in files, reads and writes that go through real phases
// with progress figures, and a journal of every call.
#include "allocation_span.h"
#include "board_config.h"
#include "content_file.h"
#include "flash_exports.h"
#include "flashsim_control.h"
#include "journal.h"
#include "progress_gauge.h"
#include "records.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int kMainPart = 0;
constexpr int kBackupPart = 1;

// Every phase reports 0 and then each percent up to 100.
constexpr int kPhaseSteps = 100;

struct DriverState {
    std::mutex mutex;  // guards the members below
    bool loaded = false;
    std::shared_ptr<const BoardConfig> board;  // null while the board file is bad
    int selector = kMainPart;                  // the part reads and writes address
    bool enlActive = false;
    char lastError[2048] = "";
    char journalPath[MAX_PATH] = "";
};

DriverState g_state;
Journal g_journal;
ProgressGauge g_gauge;
std::atomic<bool> g_operationRunning{false};

void CopyText(char* target, size_t capacity, const std::string& text) {
    const size_t length = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

// The driver's own directory, ending with a backslash.
bool FindModuleDir(std::string& dir) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&FindModuleDir), &module)) {
        return false;
    }
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    dir.assign(path, length);
    dir.erase(dir.find_last_of('\\') + 1);
    return true;
}

// Loads the board; the caller holds g_state.mutex. iniPath empty means
// flashsim.ini beside the driver, which may be absent.
int LoadBoardLocked(const std::string& iniPath) {
    std::string moduleDir;
    BoardLoad load;
    if (!FindModuleDir(moduleDir)) {
        load.error = "the driver's own path cannot be found or is too long";
    } else if (iniPath.empty()) {
        load = LoadBoardConfig(moduleDir + "flashsim.ini", moduleDir, false);
    } else {
        load = LoadBoardConfig(iniPath, moduleDir, true);
    }
    g_journal.SetPath(load.board.journalPath);
    CopyText(g_state.journalPath, sizeof(g_state.journalPath), load.board.journalPath);
    g_state.loaded = true;
    g_state.selector = kMainPart;
    g_state.enlActive = load.board.enlActive;
    const std::string line = "Board ini=" + load.board.iniPath;
    if (!load.error.empty()) {
        g_state.board.reset();
        CopyText(g_state.lastError, sizeof(g_state.lastError), load.error);
        g_journal.Append(line + " -> 0 error: " + load.error);
        return 0;
    }
    g_state.board = std::make_shared<const BoardConfig>(std::move(load.board));
    g_state.lastError[0] = '\0';
    g_journal.Append(line + " -> 1");
    return 1;
}

void EnsureLoadedLocked() {
    if (!g_state.loaded) {
        LoadBoardLocked(std::string());
    }
}

void SetLastErrorText(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_state.mutex);
    CopyText(g_state.lastError, sizeof(g_state.lastError), text);
}

// One call of a driver function: takes the board as it stands when the call
// begins, decides whether the call may go on, and writes its journal line.
class Call {
public:
    explicit Call(DriverFunction function) : function_(function) {
        std::lock_guard<std::mutex> lock(g_state.mutex);
        EnsureLoadedLocked();
        board_ = g_state.board;
        selector_ = g_state.selector;
        if (board_ && board_->Fails(function)) {
            CopyText(g_state.lastError, sizeof(g_state.lastError),
                     std::string(NameOf(function)) + " fails as the board's [Fail] section asks");
            board_.reset();
        }
        // While the board file is bad every call is refused and the last
        // error keeps telling why.
    }

    bool Proceeds() const { return board_ != nullptr; }
    const char* Name() const { return NameOf(function_); }
    const BoardConfig& Board() const { return *board_; }
    int Selector() const { return selector_; }

    int Refuse(const std::string& why) const {
        SetLastErrorText(std::string(NameOf(function_)) + ": " + why);
        return 0;
    }

    int Finish(int result, const std::string& arguments = std::string()) const {
        std::string line = NameOf(function_);
        if (!arguments.empty()) {
            line += " " + arguments;
        }
        g_journal.Append(line + " -> " + std::to_string(result));
        return result;
    }

private:
    DriverFunction function_;
    std::shared_ptr<const BoardConfig> board_;
    int selector_ = kMainPart;
};

// The one read or write the flash part allows at a time. Leaving it puts the
// progress figures back to idle.
class OperationSlot {
public:
    OperationSlot() : taken_(!g_operationRunning.exchange(true)) {}
    ~OperationSlot() {
        if (taken_) {
            g_gauge.SetIdle();
            g_operationRunning.store(false);
        }
    }
    OperationSlot(const OperationSlot&) = delete;
    OperationSlot& operator=(const OperationSlot&) = delete;

    bool Taken() const { return taken_; }

private:
    bool taken_;
};

void Report(const BoardConfig& board, int status, int percent) {
    if (!g_gauge.Report(status, percent, board.holdLimitMillis)) {
        g_journal.Append("hold at status=" + std::to_string(status) + " percent=" + std::to_string(percent) +
                         " ran out after " + std::to_string(board.holdLimitMillis) + " ms");
    }
}

// Which bytes of the image a write puts where in the part: length bytes
// from imageOffset on land at partOffset.
struct Placement {
    uint32_t imageOffset;
    uint32_t partOffset;
    uint32_t length;
};

// Where an image of the given length goes, or false when the part takes no
// image of that length. A board file that allows size-adapted writes lets an
// image of half the part's size fill the part's upper half (the board boots
// from the top of the part) as its reading of the call says: the first half
// of the bytes given (the lower half of the part keeps what it holds), the
// second half of twice the length given, or twice the length given over the
// whole part. It also lets an image of twice the size put its upper half over
// the whole part.
bool PlaceImage(const BoardConfig& board, unsigned length, Placement& placement) {
    const uint32_t size = board.flashSize;
    if (length == size) {
        placement = {0, 0, size};
        return true;
    }
    if (board.sizeAdaptedWrites == SizeAdaptation::kOff) {
        return false;
    }
    if (size / 2 > 0 && length == size / 2 && size % 2 == 0) {
        switch (board.sizeAdaptedWrites) {
        case SizeAdaptation::kOff: return false;
        case SizeAdaptation::kTop: placement = {0, size - length, length}; return true;
        case SizeAdaptation::kUpper: placement = {length, size - length, length}; return true;
        case SizeAdaptation::kWhole: placement = {0, 0, size}; return true;
        }
    }
    if (static_cast<uint64_t>(length) == 2ull * size) {
        placement = {size, 0, size};
        return true;
    }
    return false;
}

// Reports the figures; false (with the reason in problem) when the board
// file makes the operation fail on reaching them.
bool Reach(const BoardConfig& board, int status, int percent, std::string& problem) {
    Report(board, status, percent);
    if (board.failAtStatus == 0 || board.failAtStatus != static_cast<uint32_t>(status) ||
        board.failAtPercent != static_cast<uint32_t>(percent)) {
        return true;
    }
    problem = "fails at status=" + std::to_string(status) + " percent=" + std::to_string(percent) +
              " as the board's [Fail] section asks";
    return false;
}

// Refuses, and journals, a call that would take bytes [0, reach) from pointer
// beyond the allocation pointer lies in: what lies past a caller's buffer
// must never reach the part, nor a read's bytes land there.
bool WithinAllocation(const Call& call, const void* pointer, uint64_t reach, const char* what) {
    const AllocationSpan span = SpanFrom(pointer);
    if (span.known && reach <= span.fromPointer) {
        return true;
    }
    const std::string why =
        span.known ? std::string(what) + " bytes 0 to " + std::to_string(reach) + " from the pointer, but its " +
                         (span.heapBlock ? "heap block" : "memory") + " holds " + std::to_string(span.fromPointer) +
                         " from there"
                   : std::string(what) + " " + std::to_string(reach) + " bytes at a pointer into no allocation";
    g_journal.Append(std::string(call.Name()) + " outside its buffer: " + why);
    call.Refuse("outside its buffer: " + why);
    return false;
}

// Runs one phase over the part's bytes [begin, begin + size) in kPhaseSteps
// slices: work(offset, length) handles one slice, offsets counted in the part,
// and the percentage reports the slices done.
template <class Work>
bool RunPhase(const BoardConfig& board, ProgressStatusCode status, uint32_t begin, uint32_t size, std::string& problem,
              Work work) {
    const uint64_t millis = board.phaseMillis;
    if (!Reach(board, status, 0, problem)) return false;
    for (int step = 0; step < kPhaseSteps; ++step) {
        const uint32_t from = begin + static_cast<uint32_t>(uint64_t{size} * step / kPhaseSteps);
        const uint32_t to = begin + static_cast<uint32_t>(uint64_t{size} * (step + 1) / kPhaseSteps);
        if (to > from && !work(from, to - from)) {
            return false;
        }
        const DWORD pause = static_cast<DWORD>(millis * (step + 1) / kPhaseSteps - millis * step / kPhaseSteps);
        if (pause > 0) {
            Sleep(pause);
        }
        if (!Reach(board, status, step + 1, problem)) return false;
    }
    return true;
}

uint32_t LargestSlice(uint32_t size) {
    return size / kPhaseSteps + 1;
}

const std::string& PartPath(const BoardConfig& board, int part) {
    return part == kBackupPart ? board.backupContent : board.mainContent;
}

// Reads the part into buffer; *delivered is the count the driver reports. A
// board with short reads delivers only the first half of the part and either
// says so in the count or fills the rest with zeros and claims the whole.
bool ReadPart(const BoardConfig& board, int part, unsigned char* buffer, uint32_t* delivered, std::string& problem) {
    ContentFile file;
    if (!file.Open(PartPath(board, part), board.flashSize, problem)) {
        return false;
    }
    const uint32_t length = board.shortReads == ShortRead::kOff ? board.flashSize : board.flashSize / 2;
    if (!RunPhase(board, kStatusReading, 0, length, problem, [&](uint32_t offset, uint32_t slice) {
            return file.ReadAt(offset, buffer + offset, slice, problem);
        })) {
        return false;
    }
    switch (board.shortReads) {
    case ShortRead::kOff: *delivered = board.flashSize; break;
    case ShortRead::kCount: *delivered = length; break;
    case ShortRead::kZeros:
        std::memset(buffer + length, 0, board.flashSize - length);
        *delivered = board.flashSize;
        break;
    }
    return true;
}

// Erases the placement's bytes of the part, writes the image's bytes there
// and reads them back; the rest of the part is not touched. The DMI data
// pool's bytes among them keep the old content with keepDmi nonzero; keepDmi 0
// leaves them erased.
bool WritePart(const BoardConfig& board, int part, const unsigned char* image, const Placement& placement,
               int keepDmi, std::string& problem) {
    const std::string& path = PartPath(board, part);
    ContentFile file;
    if (!file.Open(path, board.flashSize, problem)) {
        return false;
    }
    const uint32_t begin = placement.partOffset;
    const uint32_t end = begin + placement.length;
    // content[i] is what the part's byte begin + i receives.
    std::vector<uint8_t> content(image + placement.imageOffset, image + placement.imageOffset + placement.length);
    const uint32_t dmiBegin = board.dmiOffset > begin ? board.dmiOffset : begin;
    const uint32_t dmiEnd = board.dmiOffset + board.dmiLength < end ? board.dmiOffset + board.dmiLength : end;
    if (board.dmiLength > 0 && dmiBegin < dmiEnd) {
        if (keepDmi != 0) {
            if (!file.ReadAt(dmiBegin, content.data() + (dmiBegin - begin), dmiEnd - dmiBegin, problem)) {
                return false;
            }
        } else {
            std::memset(content.data() + (dmiBegin - begin), 0xFF, dmiEnd - dmiBegin);
        }
    }

    const std::vector<uint8_t> erased(LargestSlice(placement.length), 0xFF);
    if (!RunPhase(board, kStatusErasing, begin, placement.length, problem, [&](uint32_t offset, uint32_t length) {
            return file.WriteAt(offset, erased.data(), length, problem);
        })) {
        return false;
    }
    if (!RunPhase(board, kStatusWriting, begin, placement.length, problem, [&](uint32_t offset, uint32_t length) {
            return file.WriteAt(offset, content.data() + (offset - begin), length, problem);
        })) {
        return false;
    }
    std::vector<uint8_t> readBack(LargestSlice(placement.length));
    const bool verified = RunPhase(board, kStatusVerifying, begin, placement.length, problem, [&](uint32_t offset, uint32_t length) {
        if (!file.ReadAt(offset, readBack.data(), length, problem)) {
            return false;
        }
        for (uint32_t i = 0; i < length; ++i) {
            const uint8_t expected = content[offset - begin + i];
            if (readBack[i] != expected) {
                char where[160];
                std::snprintf(where, sizeof(where), "verify found 0x%02X instead of 0x%02X at offset 0x%X in ",
                              readBack[i], expected, offset + i);
                problem = where + path;
                return false;
            }
        }
        return true;
    });
    if (!verified || !board.corruptWrites || placement.length == 0) return verified;
    uint8_t flipped = 0;
    const uint32_t middle = begin + placement.length / 2;
    if (!file.ReadAt(middle, &flipped, 1, problem)) return false;
    flipped ^= 0x01;
    return file.WriteAt(middle, &flipped, 1, problem);
}

// The write functions share one course: check the arguments, take the flash
// part, write each of the given parts in turn.
int WriteParts(const Call& call, std::vector<int> parts, const unsigned char* image, unsigned length,
               int keepDmi) {
    const BoardConfig& board = call.Board();
    if (image == nullptr) {
        return call.Refuse("no image");
    }
    Placement placement{};
    if (!PlaceImage(board, length, placement)) {
        return call.Refuse("length " + std::to_string(length) + " is not the flash part's size " +
                           std::to_string(board.flashSize) +
                           (board.sizeAdaptedWrites != SizeAdaptation::kOff ? ", nor half or twice it" : ""));
    }
    for (int part : parts) {
        if (part == kBackupPart && !board.dualBios) {
            return call.Refuse("the board has no backup part");
        }
    }
    if (!WithinAllocation(call, image, uint64_t{placement.imageOffset} + placement.length, "would read")) {
        return 0;
    }
    OperationSlot slot;
    if (!slot.Taken()) {
        return call.Refuse("another read or write is running");
    }
    std::string problem;
    for (int part : parts) {
        if (!WritePart(board, part, image, placement, keepDmi, problem)) {
            return call.Refuse(problem);
        }
    }
    return 1;
}

std::string WriteArguments(unsigned length, int keepDmi) {
    return "length=" + std::to_string(length) + " keepDmi=" + std::to_string(keepDmi);
}

}  // namespace

extern "C" {

int __cdecl W_Get_Flash_Info(void* record, unsigned size) {
    const Call call(DriverFunction::W_Get_Flash_Info);
    int result = 0;
    if (call.Proceeds()) {
        if (record == nullptr || size < kFlashInfoSize) {
            result = call.Refuse("the record needs " + std::to_string(kFlashInfoSize) + " bytes");
        } else {
            call.Board().FillFlashInfo(static_cast<FLASH_INFO*>(record));
            result = 1;
        }
    }
    return call.Finish(result, "size=" + std::to_string(size));
}

int __cdecl W_Get_Bios_Info(void* record, unsigned size) {
    const Call call(DriverFunction::W_Get_Bios_Info);
    int result = 0;
    if (call.Proceeds()) {
        if (record == nullptr || size < kBiosInfoSize) {
            result = call.Refuse("the record needs " + std::to_string(kBiosInfoSize) + " bytes");
        } else {
            call.Board().FillBiosInfo(static_cast<BIOS_INFO*>(record));
            result = 1;
        }
    }
    return call.Finish(result, "size=" + std::to_string(size));
}

int __cdecl W_Flash_Read(unsigned char* buffer, unsigned* count) {
    const Call call(DriverFunction::W_Flash_Read);
    const std::string arguments = count != nullptr ? "count=" + std::to_string(*count) : std::string("count=null");
    int result = 0;
    if (call.Proceeds()) {
        const BoardConfig& board = call.Board();
        if (buffer == nullptr || count == nullptr) {
            result = call.Refuse("no buffer or no count");
        } else if (*count < board.flashSize) {
            result = call.Refuse("a buffer of " + std::to_string(*count) + " bytes cannot take the " +
                                 std::to_string(board.flashSize) + "-byte flash part");
        } else if (WithinAllocation(call, buffer, board.flashSize, "would fill")) {
            OperationSlot slot;
            std::string problem;
            uint32_t delivered = 0;
            if (!slot.Taken()) {
                result = call.Refuse("another read or write is running");
            } else if (!ReadPart(board, call.Selector(), buffer, &delivered, problem)) {
                result = call.Refuse(problem);
            } else {
                *count = delivered;
                result = 1;
            }
        }
    }
    return call.Finish(result, arguments);
}

int __cdecl W_Flash_Write(unsigned char* image, unsigned length, int keepDmi) {
    const Call call(DriverFunction::W_Flash_Write);
    const int result = call.Proceeds() ? WriteParts(call, {call.Selector()}, image, length, keepDmi) : 0;
    return call.Finish(result, WriteArguments(length, keepDmi));
}

int __cdecl W_Flash_Write_DualBios(unsigned char* image, unsigned length, int keepDmi) {
    const Call call(DriverFunction::W_Flash_Write_DualBios);
    const int result = call.Proceeds() ? WriteParts(call, {kMainPart, kBackupPart}, image, length, keepDmi) : 0;
    return call.Finish(result, WriteArguments(length, keepDmi));
}

int __cdecl W_Flash_Write_BackupBios(unsigned char* image, unsigned length, int keepDmi) {
    const Call call(DriverFunction::W_Flash_Write_BackupBios);
    const int result = call.Proceeds() ? WriteParts(call, {kBackupPart}, image, length, keepDmi) : 0;
    return call.Finish(result, WriteArguments(length, keepDmi));
}

int __cdecl W_Flash_Write_Ex(unsigned char* image, unsigned length, int keepDmi, int kind) {
    const Call call(DriverFunction::W_Flash_Write_Ex);
    int result = 0;
    if (call.Proceeds()) {
        // Kind 1 puts a UEFI image on an Award board, kind 2 an Award image on
        // a UEFI board; any other pairing has no meaning for the part.
        const int32_t biosType = call.Board().biosType;
        if (kind != 1 && kind != 2) {
            result = call.Refuse("unknown kind " + std::to_string(kind));
        } else if ((kind == 1 && biosType != kBiosTypeAward) || (kind == 2 && biosType != kBiosTypeAmiUefi)) {
            result = call.Refuse("kind " + std::to_string(kind) + " does not fit BIOS type " + std::to_string(biosType));
        } else {
            result = WriteParts(call, {call.Selector()}, image, length, keepDmi);
        }
    }
    return call.Finish(result, WriteArguments(length, keepDmi) + " kind=" + std::to_string(kind));
}

int __cdecl W_Get_Progress_Status(int* status, int* percent) {
    const Call call(DriverFunction::W_Get_Progress_Status);
    if (!call.Proceeds()) {
        return call.Finish(0);
    }
    const ProgressGauge::Figures figures = g_gauge.Read();
    if (status != nullptr) {
        *status = figures.status;
    }
    if (percent != nullptr) {
        *percent = figures.percent;
    }
    return call.Finish(1, "status=" + std::to_string(figures.status) + " percent=" + std::to_string(figures.percent));
}

int __cdecl W_Support_ENL(unsigned char* present, unsigned char* active) {
    const Call call(DriverFunction::W_Support_ENL);
    if (!call.Proceeds()) {
        return call.Finish(0);
    }
    if (present == nullptr || active == nullptr) {
        return call.Finish(call.Refuse("no place for the answer"));
    }
    bool running;
    {
        std::lock_guard<std::mutex> lock(g_state.mutex);
        running = g_state.enlActive;
    }
    *present = call.Board().enlPresent ? 1 : 0;
    *active = running ? 1 : 0;
    return call.Finish(1, "present=" + std::to_string(*present) + " active=" + std::to_string(*active));
}

int __cdecl W_Enable_ENL(int enable) {
    const Call call(DriverFunction::W_Enable_ENL);
    int result = 0;
    if (call.Proceeds()) {
        if (enable != 0 && !call.Board().enlPresent) {
            result = call.Refuse("the board has no power saver to start");
        } else {
            std::lock_guard<std::mutex> lock(g_state.mutex);
            g_state.enlActive = enable != 0;
            result = 1;
        }
    }
    return call.Finish(result, "enable=" + std::to_string(enable));
}

int __cdecl Load_CMOS_Default(void) {
    const Call call(DriverFunction::Load_CMOS_Default);
    return call.Finish(call.Proceeds() ? call.Board().loadCmosDefault : 0);
}

int __cdecl IsUtilityActive(unsigned char* image, unsigned length, unsigned char* permission) {
    (void)image;  // the board's answer does not depend on the image
    const Call call(DriverFunction::IsUtilityActive);
    if (!call.Proceeds()) {
        return call.Finish(0, "length=" + std::to_string(length));
    }
    if (permission == nullptr) {
        return call.Finish(call.Refuse("no place for the permission"), "length=" + std::to_string(length));
    }
    *permission = call.Board().utilityPermission;
    return call.Finish(call.Board().utilityActive,
                       "length=" + std::to_string(length) + " permission=" + std::to_string(*permission));
}

int __cdecl IsDualBiosSupported(void) {
    const Call call(DriverFunction::IsDualBiosSupported);
    return call.Finish(call.Proceeds() && call.Board().dualBios ? 1 : 0);
}

int __cdecl ChangeDualBiosExport(unsigned selector) {
    const Call call(DriverFunction::ChangeDualBiosExport);
    int result = 0;
    if (call.Proceeds()) {
        std::lock_guard<std::mutex> lock(g_state.mutex);
        if (call.Board().dualBios && (selector == kMainPart || selector == kBackupPart)) {
            g_state.selector = static_cast<int>(selector);
        }
        result = g_state.selector;
    }
    return call.Finish(result, "selector=" + std::to_string(selector));
}

int __cdecl EpCheckOemid(int a, int b) {
    const Call call(DriverFunction::EpCheckOemid);
    return call.Finish(call.Proceeds() ? call.Board().epCheckOemid : 0,
                       "a=" + std::to_string(a) + " b=" + std::to_string(b));
}

int __cdecl FlashSim_LoadBoard(const char* iniPath) {
    std::string fullPath;
    if (iniPath != nullptr) {
        char full[MAX_PATH];
        const DWORD length = GetFullPathNameA(iniPath, MAX_PATH, full, nullptr);
        if (length == 0 || length >= MAX_PATH) {
            SetLastErrorText(std::string(iniPath) + ": not a usable path");
            return 0;
        }
        fullPath = full;
    }
    std::lock_guard<std::mutex> lock(g_state.mutex);
    if (g_operationRunning.load()) {
        CopyText(g_state.lastError, sizeof(g_state.lastError), "FlashSim_LoadBoard: a read or write is running");
        return 0;
    }
    g_gauge.Release();
    return LoadBoardLocked(fullPath);
}

const char* __cdecl FlashSim_LastError(void) {
    return g_state.lastError;
}

const char* __cdecl FlashSim_JournalPath(void) {
    std::lock_guard<std::mutex> lock(g_state.mutex);
    EnsureLoadedLocked();
    return g_state.journalPath;
}

void __cdecl FlashSim_HoldAt(int status, int percent) {
    g_gauge.HoldAt(status, percent);
}

int __cdecl FlashSim_WaitHeld(unsigned timeoutMs) {
    return g_gauge.WaitHeld(timeoutMs) ? 1 : 0;
}

void __cdecl FlashSim_Release(void) {
    g_gauge.Release();
}

}  // extern "C"
