// Kestrom's start-up, from process start to its first painted main window,
// against a bare Win32 dialog program showing one window of the same size, in
// the same run under Wine.
//
// The program lays out a scratch folder as a user's program folder: copies of
// Kestrom.exe, Vossel.dll, the simulated flash.dll and the baseline
// bare_dialog.exe, and a board file for a 16 MiB Award board whose phases
// take no time (bench_support.h). Round by round it starts, from outside as a user would:
//   Kestrom      Kestrom.exe; its consent box is answered "OK" as soon as it
//                shows; timed to the first painted main window
//   bare dialog  bare_dialog.exe with Kestrom's window size; timed to its
//                first painted window
// "Painted" is the window visible with nothing left to paint, and its thread
// back from painting: a message sent to the window after that has been
// answered. Windows are looked for every millisecond. Each program is closed
// and waited for before the next starts. One warm-up round, then --runs
// (default 7); the medians are printed, Kestrom's split into the time to its
// consent box, the box's round trip and the rest, then
//   ratio kestrom/bare = X
//   ratio kestrom-without-consent/bare = Y
//   ratio of the fastest rounds kestrom/bare = Z
// where Y leaves out the time from the consent box showing to its answer and
// Z compares the fastest rounds (the least disturbed by other work on a
// shared machine).
// Exit code 0, 1 when a program fails to start, show or end, 2 for a bad
// command line.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "window_robot.h"

namespace {

constexpr char kProgramFile[] = "Kestrom.exe";
constexpr char kBareFile[] = "bare_dialog.exe";
constexpr char kProgramName[] = "startup_bench";

constexpr char kMainCaption[] = "Zorvik";
constexpr char kConsentCaption[] = "Message";
constexpr char kConsentAnswer[] = "OK";
constexpr char kBareCaption[] = "Bare dialog";

constexpr DWORD kShowTimeoutMs = 30000;
constexpr DWORD kExitTimeoutMs = 30000;
constexpr DWORD kPollMs = 1;
constexpr int kDefaultRuns = 7;
constexpr int kMaxRuns = 100;

// A started program; ended (closed, else terminated) when it goes out of scope.
class Program {
public:
    Program() = default;
    ~Program() { End(); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Start(const std::string& path, const std::string& arguments, const std::string& folder) {
        std::string line = "\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments);
        std::vector<char> command(line.begin(), line.end());
        command.push_back('\0');
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                            &startup, &info_)) {
            return false;
        }
        CloseHandle(info_.hThread);
        return true;
    }
    DWORD id() const { return info_.dwProcessId; }
    bool running() const { return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

    // Asks the window to close and waits; terminates the program if that fails.
    bool Close(HWND window) {
        if (info_.hProcess == nullptr) return true;
        const bool closed = robot::RequestClose(window) && WaitForSingleObject(info_.hProcess, kExitTimeoutMs) ==
                                                               WAIT_OBJECT_0;
        End();
        return closed;
    }

private:
    void End() {
        if (info_.hProcess == nullptr) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 1);
            WaitForSingleObject(info_.hProcess, kExitTimeoutMs);
        }
        CloseHandle(info_.hProcess);
        info_ = {};
    }

    PROCESS_INFORMATION info_ = {};
};

// The first visible top-level window of the program with that caption and
// class (any class when class_name is null), or nullptr once the program has
// ended or the time is up.
HWND WaitForShown(const Program& program, const char* caption, const char* class_name) {
    robot::WindowQuery query;
    query.process_id = program.id();
    query.caption = caption;
    if (class_name != nullptr) query.class_name = class_name;
    const ULONGLONG deadline = GetTickCount64() + kShowTimeoutMs;
    while (program.running() && GetTickCount64() < deadline) {
        const std::vector<HWND> found = robot::FindWindows(query);
        if (!found.empty()) return found.front();
        Sleep(kPollMs);
    }
    return nullptr;
}

// Waits until the window is visible with nothing left to paint and its
// thread has finished painting; false once the time is up.
bool WaitForPainted(HWND window) {
    const ULONGLONG deadline = GetTickCount64() + kShowTimeoutMs;
    while (GetTickCount64() < deadline) {
        if (!IsWindow(window)) return false;
        if (IsWindowVisible(window) && !GetUpdateRect(window, nullptr, FALSE)) {
            DWORD_PTR answer = 0;
            return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kShowTimeoutMs, &answer) != 0;
        }
        Sleep(kPollMs);
    }
    return false;
}

struct KestromRound {
    double to_consent = 0;   // process start to the consent box shown
    double consent = 0;      // the box shown to its answer posted
    double to_painted = 0;   // the answer to the painted main window
    double total() const { return to_consent + consent + to_painted; }
};

std::string RunKestrom(const bench::ScratchDir& scratch, KestromRound* round, SIZE* window_size) {
    Program kestrom;
    const LARGE_INTEGER start = bench::Now();
    if (!kestrom.Start(scratch.File(kProgramFile), "", scratch.path())) {
        return "cannot start " + scratch.File(kProgramFile) + " (error " + std::to_string(GetLastError()) + ")";
    }
    const HWND box = WaitForShown(kestrom, kConsentCaption, robot::kDialogClass);
    if (box == nullptr) return "Kestrom's consent box did not show";
    const LARGE_INTEGER box_shown = bench::Now();
    if (!robot::PressButton(box, kConsentAnswer)) return "cannot answer Kestrom's consent box";
    const LARGE_INTEGER answered = bench::Now();
    const HWND main = WaitForShown(kestrom, kMainCaption, nullptr);
    if (main == nullptr || !WaitForPainted(main)) return "Kestrom's main window was not painted";
    const LARGE_INTEGER painted = bench::Now();
    round->to_consent = bench::Milliseconds(start, box_shown);
    round->consent = bench::Milliseconds(box_shown, answered);
    round->to_painted = bench::Milliseconds(answered, painted);
    RECT rect = {};
    GetWindowRect(main, &rect);
    *window_size = SIZE{rect.right - rect.left, rect.bottom - rect.top};
    if (!kestrom.Close(main)) return "Kestrom did not end when closed";
    return {};
}

std::string RunBare(const bench::ScratchDir& scratch, SIZE size, double* ms) {
    Program bare;
    const LARGE_INTEGER start = bench::Now();
    if (!bare.Start(scratch.File(kBareFile), std::to_string(size.cx) + " " + std::to_string(size.cy),
                    scratch.path())) {
        return "cannot start " + scratch.File(kBareFile);
    }
    const HWND window = WaitForShown(bare, kBareCaption, nullptr);
    if (window == nullptr || !WaitForPainted(window)) return "the bare dialog was not painted";
    *ms = bench::Milliseconds(start, bench::Now());
    RECT rect = {};
    GetWindowRect(window, &rect);
    if (rect.right - rect.left != size.cx || rect.bottom - rect.top != size.cy) {
        return "the bare dialog is not of Kestrom's size";
    }
    if (!bare.Close(window)) return "the bare dialog did not end when closed";
    return {};
}

void PrintRow(const char* label, const std::vector<double>& samples) {
    const auto range = std::minmax_element(samples.begin(), samples.end());
    std::printf("%-36s %9.2f ms  (min %.2f, max %.2f)\n", label, bench::Median(samples), *range.first,
                *range.second);
}

int Run(int runs) {
    bench::ScratchDir scratch("vossel-startup");
    if (!scratch.ok()) return bench::Fail(kProgramName, "cannot create a scratch folder under the temporary folder");
    std::string problem = scratch.CopyFromProgramDir({kProgramFile, bench::kEngineFile, bench::kDriverFile, kBareFile});
    if (!problem.empty()) return bench::Fail(kProgramName, problem);
    if (!bench::WriteWholeFile(scratch.File(bench::kBoardFile), bench::kZeroTimeAwardBoard,
                               DWORD(strlen(bench::kZeroTimeAwardBoard)))) {
        return bench::Fail(kProgramName, "cannot write the board file");
    }

    std::vector<double> to_consent, consent, to_painted, kestrom_total, kestrom_without_consent, bare;
    for (int round = 0; round <= runs; ++round) {
        KestromRound k;
        SIZE size = {};
        double bare_ms = 0;
        problem = RunKestrom(scratch, &k, &size);
        if (problem.empty()) problem = RunBare(scratch, size, &bare_ms);
        if (!problem.empty()) return bench::Fail(kProgramName, problem);
        if (round == 0) continue;  // warm-up
        to_consent.push_back(k.to_consent);
        consent.push_back(k.consent);
        to_painted.push_back(k.to_painted);
        kestrom_total.push_back(k.total());
        kestrom_without_consent.push_back(k.total() - k.consent);
        bare.push_back(bare_ms);
    }
    std::printf("median of %d rounds after one warm-up:\n", runs);
    PrintRow("Kestrom: start to consent box", to_consent);
    PrintRow("Kestrom: consent box to answer", consent);
    PrintRow("Kestrom: answer to painted window", to_painted);
    PrintRow("Kestrom: start to painted window", kestrom_total);
    PrintRow("bare dialog: start to painted window", bare);
    std::printf("ratio kestrom/bare = %.2f\n", bench::Median(kestrom_total) / bench::Median(bare));
    std::printf("ratio kestrom-without-consent/bare = %.2f\n",
                bench::Median(kestrom_without_consent) / bench::Median(bare));
    std::printf("ratio of the fastest rounds kestrom/bare = %.2f\n",
                *std::min_element(kestrom_total.begin(), kestrom_total.end()) /
                    *std::min_element(bare.begin(), bare.end()));
    return bench::Finish(scratch, kProgramName);
}

}  // namespace

int main(int argc, char** argv) {
    return bench::RunsMain(argc, argv, kProgramName, kDefaultRuns, kMaxRuns, Run);
}
