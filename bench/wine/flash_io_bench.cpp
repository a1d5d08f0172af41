// Saving and writing a 16 MiB flash part through Vossel.dll, timed against a
// plain copy of the same 16 MiB in the same run.
//
// The program lays out a scratch folder as a host would: copies of Vossel.dll
// and the simulated flash.dll from its own folder, a board file for a 16 MiB
// Award board whose phases take no time, and a valid image for that board.
// It loads the engine from there, then times, round by round:
//   copy (CopyFileA)          CopyFileA of the image to a new file
//   copy (ReadFile/WriteFile) the image read into one 16 MiB buffer and
//                             written to a new file, flushed
//   save (SaveBiosEx)         the part saved to a new file
//   write (FlashBIOS)         the image file written to the part, silently
// Each is run once to warm up and then --runs times (default 7); the medians
// are printed, and the engine's two operations as ratios over the copy.
//
// Both engine operations end with a fixed 400 ms wait of their own (after the
// save's file is closed, after the driver's write), so the ratios are given
// with and without it.
//
// Once, after the warm-up, the results are checked: the part's content file
// holds the image after FlashBIOS, and the file SaveBiosEx wrote holds the
// part. Any failed call, refused check or message box from the engine ends
// the program with exit code 1 (2 for a bad command line).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench_support.h"
#include "image_builder.h"

namespace {

namespace ib = vossel::imagebuilder;

using bench::kBoardFile;
using bench::kDriverFile;
using bench::kEngineFile;
constexpr char kContentFile[] = "flash.bin";
constexpr char kImageFile[] = "image.bin";
constexpr char kSavedFile[] = "saved.bin";
constexpr char kCopyFileTarget[] = "copy_copyfile.bin";
constexpr char kReadWriteTarget[] = "copy_readwrite.bin";

constexpr uint32_t kFlashSize = bench::kZeroTimeAwardFlashSize;
constexpr const char* kPartNumber = bench::kZeroTimeAwardPartNumber;

// The engine's own wait at the end of a save and of a write.
constexpr double kEngineWaitMs = 400.0;

// SaveBiosEx's result for a written file (kSaveExWritten in the engine).
constexpr uint8_t kSaveExWritten = 0;
// FlashBIOS's sources: 2 is a given file, no dialogs.
constexpr int kSourceGivenFile = 2;
// The engine keeps its paths in fixed buffers: an image path of at most 254
// characters, a save target of at most 259.
constexpr size_t kMaxImagePath = 254;
constexpr size_t kMaxSavePath = 259;

constexpr int kDefaultRuns = 7;
constexpr int kMaxRuns = 1000;

using SaveBiosExFn = uint8_t(__cdecl*)(int unused, const char* path);
using FlashBiosFn = int(__cdecl*)(int source, const char* path, int keepDmi, int loadCmosDefaults,
                                  unsigned imageLength);

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using UniqueFile = std::unique_ptr<void, HandleCloser>;

// The whole file, shared with whoever else has it open (the driver keeps no
// handle between calls, but nothing here depends on that).
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    bytes->resize(size_t(size.QuadPart));
    DWORD read = 0;
    return bytes->empty() ||
           (ReadFile(file.get(), bytes->data(), DWORD(bytes->size()), &read, nullptr) && read == bytes->size());
}

// Empty when the two files hold the same bytes, else what differs.
std::string CompareFiles(const std::string& actual_path, const std::string& expected_path) {
    std::vector<uint8_t> actual;
    std::vector<uint8_t> expected;
    if (!ReadWholeFile(actual_path, &actual)) return "cannot read " + actual_path;
    if (!ReadWholeFile(expected_path, &expected)) return "cannot read " + expected_path;
    if (actual.size() != expected.size()) {
        return actual_path + " holds " + std::to_string(actual.size()) + " bytes, " + expected_path + " " +
               std::to_string(expected.size());
    }
    const auto mismatch = std::mismatch(actual.begin(), actual.end(), expected.begin());
    if (mismatch.first == actual.end()) return {};
    char text[64];
    std::snprintf(text, sizeof text, " differ first at offset 0x%zX", size_t(mismatch.first - actual.begin()));
    return actual_path + " and " + expected_path + text;
}


// ------------------------------------------------------------ box guard

// The engine reports problems in message boxes, which would hold the program
// until someone answers them. This thread answers every box of this process
// with its first button and keeps what it said, so a refused call ends the
// benchmark with the engine's reason instead of a hang.
class BoxGuard {
public:
    // Returns once the thread has made its first window calls. Wine sets up a
    // thread's window state on its first such call and may take the loader
    // lock doing it; a thread that did so only while the engine's start-up
    // runs inside LoadLibrary (holding that lock) could deadlock with it.
    BoxGuard()
        : ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          thread_(CreateThread(nullptr, 0, &BoxGuard::Main, this, 0, nullptr)) {
        if (thread_ != nullptr && ready_ != nullptr) WaitForSingleObject(ready_, 30000);
    }
    ~BoxGuard() {
        stop_ = true;
        if (thread_ != nullptr) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        if (ready_ != nullptr) CloseHandle(ready_);
    }
    BoxGuard(const BoxGuard&) = delete;
    BoxGuard& operator=(const BoxGuard&) = delete;

    bool started() const { return thread_ != nullptr; }
    // The boxes answered so far ("caption: text"), and forgets them.
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> seen;
        seen.swap(seen_);
        return seen;
    }

private:
    struct Found {
        HWND box = nullptr;
        HWND first_button = nullptr;
        std::string texts;
    };

    static std::string ClassOf(HWND window) {
        char name[64] = {};
        GetClassNameA(window, name, sizeof name);
        return name;
    }
    static std::string TextOf(HWND window) {
        char text[512] = {};
        GetWindowTextA(window, text, sizeof text);
        return text;
    }

    static BOOL CALLBACK VisitChild(HWND child, LPARAM param) {
        Found& found = *reinterpret_cast<Found*>(param);
        const std::string name = ClassOf(child);
        if (name == "Static") {
            const std::string text = TextOf(child);
            if (!text.empty()) found.texts += (found.texts.empty() ? "" : " | ") + text;
        } else if (name == "Button" && found.first_button == nullptr) {
            found.first_button = child;
        }
        return TRUE;
    }

    static BOOL CALLBACK VisitTop(HWND window, LPARAM param) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != GetCurrentProcessId() || !IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }

    static DWORD WINAPI Main(void* self) {
        static_cast<BoxGuard*>(self)->Watch();
        return 0;
    }

    void Watch() {
        while (!stop_) {
            HWND box = nullptr;
            EnumWindows(&BoxGuard::VisitTop, reinterpret_cast<LPARAM>(&box));
            // Every kind of window call the answer makes, once, before the
            // owner goes on.
            if (ready_ != nullptr) {
                ClassOf(GetDesktopWindow());
                TextOf(GetDesktopWindow());
                SetEvent(ready_);
            }
            if (box != nullptr) Answer(box);
            Sleep(50);
        }
    }

    void Answer(HWND box) {
        Found found;
        found.box = box;
        EnumChildWindows(box, &BoxGuard::VisitChild, reinterpret_cast<LPARAM>(&found));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back("\"" + TextOf(box) + "\": " + found.texts);
        }
        if (found.first_button != nullptr) {
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(found.first_button), BN_CLICKED),
                         reinterpret_cast<LPARAM>(found.first_button));
        } else {
            PostMessageA(box, WM_CLOSE, 0, 0);
        }
        // Give the box time to go before looking again.
        for (int i = 0; i < 40 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(25);
    }

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> seen_;
    HANDLE ready_;
    HANDLE thread_;
};

// ---------------------------------------------------------- operations

struct Bench {
    bench::ScratchDir scratch{"vossel-flash-io"};
    HMODULE engine = nullptr;
    SaveBiosExFn save_bios_ex = nullptr;
    FlashBiosFn flash_bios = nullptr;
};

// One timed operation: run returns false (and says why in *problem) when it
// failed. Set-up that is not part of what is measured (removing the previous
// run's target) happens before the clock starts.
struct Operation {
    const char* label;
    bool (*run)(const Bench& bench, double* ms, std::string* problem);
    std::vector<double> samples;
};

bool RunCopyFile(const Bench& bench, double* ms, std::string* problem) {
    const std::string source = bench.scratch.File(kImageFile);
    const std::string target = bench.scratch.File(kCopyFileTarget);
    DeleteFileA(target.c_str());
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const BOOL copied = CopyFileA(source.c_str(), target.c_str(), FALSE);
    QueryPerformanceCounter(&end);
    if (!copied) {
        *problem = "CopyFileA failed with error " + std::to_string(GetLastError());
        return false;
    }
    *ms = bench::Milliseconds(start, end);
    return true;
}

// The copy a save or a write amounts to without the engine and the driver:
// read the whole file into one buffer, taken for this run as the engine takes
// its buffer for each call, write it out and flush it, as the engine's save
// does.
bool RunReadWrite(const Bench& bench, double* ms, std::string* problem) {
    const std::string source = bench.scratch.File(kImageFile);
    const std::string target = bench.scratch.File(kReadWriteTarget);
    DeleteFileA(target.c_str());
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kFlashSize]);
    if (!buffer) {
        *problem = "no 16 MiB buffer";
        return false;
    }
    UniqueFile in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD read = 0;
    if (in.get() == INVALID_HANDLE_VALUE || !ReadFile(in.get(), buffer.get(), kFlashSize, &read, nullptr) ||
        read != kFlashSize) {
        *problem = "cannot read " + source + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    in.reset();
    UniqueFile out(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
    DWORD written = 0;
    if (out.get() == INVALID_HANDLE_VALUE || !WriteFile(out.get(), buffer.get(), kFlashSize, &written, nullptr) ||
        written != kFlashSize || !FlushFileBuffers(out.get())) {
        *problem = "cannot write " + target + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    out.reset();
    QueryPerformanceCounter(&end);
    *ms = bench::Milliseconds(start, end);
    return true;
}

bool RunSave(const Bench& bench, double* ms, std::string* problem) {
    const std::string target = bench.scratch.File(kSavedFile);
    DeleteFileA(target.c_str());
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const uint8_t result = bench.save_bios_ex(0, target.c_str());
    QueryPerformanceCounter(&end);
    if (result != kSaveExWritten) {
        *problem = "SaveBiosEx returned " + std::to_string(result);
        return false;
    }
    *ms = bench::Milliseconds(start, end);
    return true;
}

bool RunWrite(const Bench& bench, double* ms, std::string* problem) {
    const std::string image = bench.scratch.File(kImageFile);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const int result = bench.flash_bios(kSourceGivenFile, image.c_str(), 1, 0, 0);
    QueryPerformanceCounter(&end);
    if (result != 1) {
        *problem = "FlashBIOS returned " + std::to_string(result);
        return false;
    }
    *ms = bench::Milliseconds(start, end);
    return true;
}

// Runs one operation; a box the engine showed meanwhile counts as a failure.
bool RunOnce(Operation& op, const Bench& bench, BoxGuard& guard, bool keep, std::string* problem) {
    double ms = 0;
    const bool ok = op.run(bench, &ms, problem);
    const std::vector<std::string> boxes = guard.Take();
    for (const std::string& box : boxes) *problem += (problem->empty() ? "" : "; ") + std::string("box ") + box;
    if (!ok || !boxes.empty()) {
        *problem = std::string(op.label) + ": " + *problem;
        return false;
    }
    if (keep) op.samples.push_back(ms);
    return true;
}

// ------------------------------------------------------------------ set-up

// Places the engine, the driver, the board file and the image; the problem,
// or an empty text.
std::string LayOut(const Bench& bench) {
    if (!bench.scratch.ok()) return "cannot create a scratch folder under the temporary folder";
    if (GetModuleHandleA(kEngineFile) != nullptr || GetModuleHandleA(kDriverFile) != nullptr) {
        return "the engine or a driver is loaded already";
    }
    const std::string copied = bench.scratch.CopyFromProgramDir({kEngineFile, kDriverFile});
    if (!copied.empty()) return copied;
    if (!bench::WriteWholeFile(bench.scratch.File(kBoardFile), bench::kZeroTimeAwardBoard,
                               DWORD(strlen(bench::kZeroTimeAwardBoard)))) {
        return "cannot write the board file";
    }

    ib::AwardImageLayout layout;
    layout.Size = kFlashSize;
    layout.SignatureOffset = 100;
    layout.Part = *ib::MakePartNumber(kPartNumber);
    const ib::BuiltImage image = ib::BuildAwardImage(layout);
    if (!image.ok()) return "image builder: " + image.Error;
    if (image.Bytes.size() != kFlashSize) return "image builder: unexpected image size";
    if (!bench::WriteWholeFile(bench.scratch.File(kImageFile), image.Bytes.data(), kFlashSize)) {
        return "cannot write the image";
    }
    if (bench.scratch.File(kImageFile).size() > kMaxImagePath || bench.scratch.File(kSavedFile).size() > kMaxSavePath) {
        return "the scratch folder's path is too long for the engine: " + bench.scratch.path();
    }
    return {};
}

std::string LoadEngine(Bench& bench, BoxGuard& guard) {
    SetLastError(0);
    bench.engine = LoadLibraryA(bench.scratch.File(kEngineFile).c_str());
    const DWORD error = GetLastError();
    std::string problem;
    for (const std::string& box : guard.Take()) problem += "box " + box + "; ";
    if (bench.engine == nullptr) problem += "LoadLibrary of the engine failed with error " + std::to_string(error);
    if (!problem.empty()) return problem;
    bench.save_bios_ex =
        reinterpret_cast<SaveBiosExFn>(reinterpret_cast<void*>(GetProcAddress(bench.engine, "SaveBiosEx")));
    bench.flash_bios =
        reinterpret_cast<FlashBiosFn>(reinterpret_cast<void*>(GetProcAddress(bench.engine, "FlashBIOS")));
    if (bench.save_bios_ex == nullptr || bench.flash_bios == nullptr) return "SaveBiosEx or FlashBIOS not exported";
    return {};
}

// Unloads the engine and then the driver it loaded. The engine does not free
// the driver when it is unloaded, so its reference is left over; with the
// engine gone nothing uses the driver any more and the reference is dropped
// here, or its file could not be deleted.
void UnloadEngine(Bench& bench) {
    if (bench.engine == nullptr) return;
    FreeLibrary(bench.engine);
    bench.engine = nullptr;
    bench.save_bios_ex = nullptr;
    bench.flash_bios = nullptr;
    const std::string driver_path = bench.scratch.File(kDriverFile);
    for (int i = 0; i < 8; ++i) {
        HMODULE driver = GetModuleHandleA(driver_path.c_str());
        if (driver == nullptr) break;
        FreeLibrary(driver);
    }
}

constexpr char kProgramName[] = "flash_io_bench";

int Fail(const std::string& problem) { return bench::Fail(kProgramName, problem); }

int Run(int runs) {
    BoxGuard guard;
    if (!guard.started()) return Fail("cannot start the box guard thread");
    Bench bench;
    std::string problem = LayOut(bench);
    if (problem.empty()) problem = LoadEngine(bench, guard);

    // Copies first in each round; the write before the save, so that the save
    // reads back a part that holds the image rather than an erased one.
    Operation ops[] = {
        {"copy (CopyFileA)", &RunCopyFile, {}},
        {"copy (ReadFile/WriteFile+flush)", &RunReadWrite, {}},
        {"write (FlashBIOS)", &RunWrite, {}},
        {"save (SaveBiosEx)", &RunSave, {}},
    };
    const Operation& read_write = ops[1];
    const Operation& write = ops[2];
    const Operation& save = ops[3];

    for (Operation& op : ops) {
        if (!problem.empty()) break;
        RunOnce(op, bench, guard, false, &problem);
    }
    if (problem.empty()) {
        problem = CompareFiles(bench.scratch.File(kContentFile), bench.scratch.File(kImageFile));
        if (!problem.empty()) problem = "after FlashBIOS the part does not hold the image: " + problem;
    }
    if (problem.empty()) {
        problem = CompareFiles(bench.scratch.File(kSavedFile), bench.scratch.File(kContentFile));
        if (!problem.empty()) problem = "SaveBiosEx did not save the part: " + problem;
    }
    // Round by round, so that a drift of the machine meets every operation
    // alike.
    for (int round = 0; round < runs && problem.empty(); ++round) {
        for (Operation& op : ops) {
            if (!RunOnce(op, bench, guard, true, &problem)) break;
        }
    }

    UnloadEngine(bench);
    const std::string left = bench.scratch.Remove();
    if (!problem.empty()) return Fail(problem);
    if (!left.empty()) return Fail("scratch folder not cleaned up: " + left);

    std::printf("flash I/O, 16 MiB Award board (PhaseMillis=0): median of %d run%s after one warm-up\n", runs,
                runs == 1 ? "" : "s");
    for (const Operation& op : ops) {
        const auto range = std::minmax_element(op.samples.begin(), op.samples.end());
        std::printf("%-32s %9.2f ms  (min %.2f, max %.2f)\n", op.label, bench::Median(op.samples), *range.first,
                    *range.second);
    }
    // The ratios are over the ReadFile/WriteFile copy: like the engine it
    // goes through one buffer of the whole part and, like the save, flushes
    // what it wrote; CopyFileA does neither and is shown for reference.
    const double copy_ms = bench::Median(read_write.samples);
    std::printf("copy = the ReadFile/WriteFile+flush baseline\n");
    const double save_ms = bench::Median(save.samples);
    const double write_ms = bench::Median(write.samples);
    std::printf("ratio save/copy = %.2f (less the 400 ms wait: %.2f)\n", save_ms / copy_ms,
                (save_ms - kEngineWaitMs) / copy_ms);
    std::printf("ratio write/copy = %.2f (less the 400 ms wait: %.2f)\n", write_ms / copy_ms,
                (write_ms - kEngineWaitMs) / copy_ms);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return bench::RunsMain(argc, argv, kProgramName, kDefaultRuns, kMaxRuns, Run);
}
