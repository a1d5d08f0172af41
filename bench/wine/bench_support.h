// What the Wine benchmarks share: their own folder, a scratch folder laid out
// as a host's program folder, timing and medians, and the --runs option.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "program_folder.h"

namespace bench {

// The files of a host's program folder.
constexpr char kEngineFile[] = "Vossel.dll";
constexpr char kDriverFile[] = "flash.dll";
constexpr char kBoardFile[] = "flashsim.ini";

// The simulated driver's board file: a 16 MiB Award board whose phases take
// no time, its part in flash.bin, its journal in flashsim.log.
extern const char kZeroTimeAwardBoard[];
constexpr uint32_t kZeroTimeAwardFlashSize = 0x1000000;
constexpr char kZeroTimeAwardPartNumber[] = "6A69VN01";

using robot::ProgramDir;  // this program's folder, with its trailing backslash

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to);
LARGE_INTEGER Now();

double Median(std::vector<double> values);

bool WriteWholeFile(const std::string& path, const void* bytes, DWORD length);

// Parses "--runs N" (1 to max_runs) into *runs; false with *problem set on a
// bad command line. --help sets *help.
bool ParseRuns(int argc, char** argv, int max_runs, int* runs, bool* help, std::string* problem);

// The main of a benchmark whose only option is --runs: run(runs), exit code
// 2 with the usage for a bad command line.
int RunsMain(int argc, char** argv, const char* program, int default_runs, int max_runs, int (*run)(int runs));

// Prints "program: problem" to standard error; returns exit code 1.
int Fail(const char* program, const std::string& problem);

class ScratchDir;
// After the results are printed: removes the scratch folder; exit code 0, or
// 1 when something stayed behind.
int Finish(ScratchDir& scratch, const char* program);

// A new folder under the system's temporary folder named after prefix; its
// files are deleted and the folder removed by Remove().
class ScratchDir {
public:
    explicit ScratchDir(const char* prefix);
    ~ScratchDir() { Remove(); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string File(const char* name) const { return path_ + name; }

    // Copies each file from this program's folder; the problem, or an empty text.
    std::string CopyFromProgramDir(const std::vector<const char*>& files) const;

    // Empty when the folder is gone, else what stayed behind.
    std::string Remove();

private:
    std::string path_;
};

}  // namespace bench
