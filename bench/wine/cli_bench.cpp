// vossel.exe's "info" and "check" against a bare program that loads the
// engine and returns, each a process started and waited for, in the same run
// under Wine.
//
// The program lays out a scratch folder as a host would: copies of vossel.exe,
// Vossel.dll, the simulated flash.dll and the baseline bare_engine_load.exe,
// a board file for a 16 MiB Award board whose phases take no time
// (bench_support.h), and a valid image for that board. Round by round it times, from process start to
// exit, with standard output and error going to NUL:
//   bare engine load   bare_engine_load.exe (LoadLibrary of Vossel.dll)
//   vossel info        vossel.exe info
//   vossel check       vossel.exe check image.bin
// and requires exit code 0 of each. One warm-up round, then --runs (default
// 7); the medians are printed, then
//   ratio info/bare = X
//   ratio check/bare = Y
// and the same ratios of the fastest rounds (the least disturbed by other
// work on a shared machine).
// Exit code 0, 1 when a program fails, 2 for a bad command line.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "image_builder.h"

namespace {

namespace ib = vossel::imagebuilder;

constexpr char kCliFile[] = "vossel.exe";
constexpr char kBareFile[] = "bare_engine_load.exe";
constexpr char kImageFile[] = "image.bin";
constexpr char kProgramName[] = "cli_bench";
constexpr DWORD kExitTimeoutMs = 60000;
constexpr int kDefaultRuns = 7;
constexpr int kMaxRuns = 1000;

// Runs the program to its end with its output going to NUL; the problem, or
// an empty text with the time from start to exit in *ms.
std::string TimeProgram(const bench::ScratchDir& scratch, const char* file, const std::string& arguments,
                        double* ms) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                             nullptr);
    if (nul == INVALID_HANDLE_VALUE) return "cannot open NUL";
    const std::string path = scratch.File(file);
    std::string line = "\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::vector<char> command(line.begin(), line.end());
    command.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION info = {};
    const LARGE_INTEGER start = bench::Now();
    const BOOL started = CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        scratch.path().c_str(), &startup, &info);
    CloseHandle(nul);
    if (!started) return "cannot start " + line + " (error " + std::to_string(GetLastError()) + ")";
    CloseHandle(info.hThread);
    const DWORD waited = WaitForSingleObject(info.hProcess, kExitTimeoutMs);
    const LARGE_INTEGER end = bench::Now();
    DWORD code = 1;
    if (waited != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    if (waited != WAIT_OBJECT_0) return line + " did not end";
    if (code != 0) return line + " ended with exit code " + std::to_string(code);
    *ms = bench::Milliseconds(start, end);
    return {};
}

std::string LayOut(const bench::ScratchDir& scratch) {
    if (!scratch.ok()) return "cannot create a scratch folder under the temporary folder";
    const std::string copied =
        scratch.CopyFromProgramDir({kCliFile, bench::kEngineFile, bench::kDriverFile, kBareFile});
    if (!copied.empty()) return copied;
    if (!bench::WriteWholeFile(scratch.File(bench::kBoardFile), bench::kZeroTimeAwardBoard,
                               DWORD(strlen(bench::kZeroTimeAwardBoard)))) {
        return "cannot write the board file";
    }
    ib::AwardImageLayout layout;
    layout.Size = bench::kZeroTimeAwardFlashSize;
    layout.SignatureOffset = 100;
    layout.Part = *ib::MakePartNumber(bench::kZeroTimeAwardPartNumber);
    const ib::BuiltImage image = ib::BuildAwardImage(layout);
    if (!image.ok()) return "image builder: " + image.Error;
    if (!bench::WriteWholeFile(scratch.File(kImageFile), image.Bytes.data(), DWORD(image.Bytes.size()))) {
        return "cannot write the image";
    }
    return {};
}

int Run(int runs) {
    bench::ScratchDir scratch("vossel-cli");
    std::string problem = LayOut(scratch);
    if (!problem.empty()) return bench::Fail(kProgramName, problem);
    struct Row {
        const char* label;
        const char* file;
        std::string arguments;
        std::vector<double> samples;
    } rows[] = {
        {"bare engine load", kBareFile, "", {}},
        {"vossel info", kCliFile, "info", {}},
        {"vossel check", kCliFile, std::string("check ") + kImageFile, {}},
    };
    for (int round = 0; round <= runs; ++round) {
        for (Row& row : rows) {
            double ms = 0;
            problem = TimeProgram(scratch, row.file, row.arguments, &ms);
            if (!problem.empty()) return bench::Fail(kProgramName, problem);
            if (round > 0) row.samples.push_back(ms);  // round 0 warms up
        }
    }
    std::printf("median of %d rounds after one warm-up, process start to exit:\n", runs);
    for (const Row& row : rows) {
        const auto range = std::minmax_element(row.samples.begin(), row.samples.end());
        std::printf("%-20s %9.2f ms  (min %.2f, max %.2f)\n", row.label, bench::Median(row.samples), *range.first,
                    *range.second);
    }
    const double bare = bench::Median(rows[0].samples);
    std::printf("ratio info/bare = %.2f\n", bench::Median(rows[1].samples) / bare);
    std::printf("ratio check/bare = %.2f\n", bench::Median(rows[2].samples) / bare);
    const auto fastest = [](const Row& row) { return *std::min_element(row.samples.begin(), row.samples.end()); };
    std::printf("ratio of the fastest rounds info/bare = %.2f, check/bare = %.2f\n",
                fastest(rows[1]) / fastest(rows[0]), fastest(rows[2]) / fastest(rows[0]));
    return bench::Finish(scratch, kProgramName);
}

}  // namespace

int main(int argc, char** argv) {
    return bench::RunsMain(argc, argv, kProgramName, kDefaultRuns, kMaxRuns, Run);
}
