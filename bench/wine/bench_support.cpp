#include "bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace bench {
namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using UniqueFile = std::unique_ptr<void, HandleCloser>;

}  // namespace

const char kZeroTimeAwardBoard[] =
    "; 16 MiB Award board, no time spent in the phases.\r\n"
    "[Flash]\r\n"
    "FlashSize=0x1000000\r\n"
    "Content=flash.bin\r\n"
    "[Bios]\r\n"
    "BiosType=1\r\n"
    "BiosPartNumber=6A69VN01\r\n"
    "[Timing]\r\n"
    "PhaseMillis=0\r\n"
    "[Journal]\r\n"
    "Path=flashsim.log\r\n";

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    static const double ticks_per_ms = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return double(frequency.QuadPart) / 1000.0;
    }();
    return double(to.QuadPart - from.QuadPart) / ticks_per_ms;
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

bool WriteWholeFile(const std::string& path, const void* bytes, DWORD length) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes, length, &written, nullptr) && written == length;
}

bool ParseRuns(int argc, char** argv, int max_runs, int* runs, bool* help, std::string* problem) {
    *help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            *help = true;
            return true;
        }
        if (arg != "--runs") {
            *problem = "unknown argument " + arg;
            return false;
        }
        if (++i == argc) {
            *problem = "--runs needs a number";
            return false;
        }
        char* end = nullptr;
        const long value = std::strtol(argv[i], &end, 10);
        if (end == argv[i] || *end != '\0' || value < 1 || value > max_runs) {
            *problem = "bad number of runs";
            return false;
        }
        *runs = int(value);
    }
    return true;
}

ScratchDir::ScratchDir(const char* prefix) {
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = std::string(temp) + prefix + std::string("-") +
                                      std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate + "\\";
            return;
        }
    }
}

std::string ScratchDir::CopyFromProgramDir(const std::vector<const char*>& files) const {
    const std::string here = ProgramDir();
    for (const char* file : files) {
        if (!CopyFileA((here + file).c_str(), File(file).c_str(), TRUE)) {
            return std::string("cannot copy ") + here + file + " (error " + std::to_string(GetLastError()) + ")";
        }
    }
    return {};
}

std::string ScratchDir::Remove() {
    if (path_.empty()) return {};
    std::string left;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            if (!DeleteFileA((path_ + found.cFileName).c_str())) left += std::string(" ") + found.cFileName;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    if (!RemoveDirectoryA(path_.c_str())) {
        left = "cannot remove " + path_ + (left.empty() ? std::string() : ", files left:" + left);
    } else {
        left.clear();
    }
    path_.clear();
    return left;
}


int RunsMain(int argc, char** argv, const char* program, int default_runs, int max_runs, int (*run)(int runs)) {
    int runs = default_runs;
    bool help = false;
    std::string problem;
    const bool parsed = ParseRuns(argc, argv, max_runs, &runs, &help, &problem);
    if (parsed && !help) return run(runs);
    if (!parsed) std::fprintf(stderr, "%s: %s\n", program, problem.c_str());
    std::fprintf(parsed ? stdout : stderr,
                 "usage: %s [--runs N]\n"
                 "  --runs N  timed rounds after one warm-up (default %d, 1 to %d)\n",
                 program, default_runs, max_runs);
    return parsed ? 0 : 2;
}

int Fail(const char* program, const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n", program, problem.c_str());
    return 1;
}

int Finish(ScratchDir& scratch, const char* program) {
    std::fflush(stdout);
    const std::string left = scratch.Remove();
    return left.empty() ? 0 : Fail(program, left);
}

}  // namespace bench
