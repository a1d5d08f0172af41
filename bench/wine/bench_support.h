// What the Wine benchmarks share: their own folder, a scratch folder laid out
// as a host's program folder, timing and medians, and the --runs option.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// The folder of this program, with a trailing backslash; empty on failure.
std::string ProgramDir();

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to);
LARGE_INTEGER Now();

double Median(std::vector<double> values);

bool WriteWholeFile(const std::string& path, const void* bytes, DWORD length);

// Parses "--runs N" (1 to max_runs) into *runs; false with *problem set on a
// bad command line. --help sets *help.
bool ParseRuns(int argc, char** argv, int max_runs, int* runs, bool* help, std::string* problem);

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
