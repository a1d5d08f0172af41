// The engine's download of an image from an FTP server, timed against one
// FtpGetFile of the same file in the same run, and the memory the engine
// holds while it downloads.
//
// Round by round, after one warm-up round, two transfers of the same file:
//   download (DownloadImage)  what the engine does for an update from a
//                             server: a session with the engine's agent name,
//                             ConnectToSite, SetCurrentDirectory, OpenFile, an
//                             ImageBuffer of the file's size + 1 bytes and
//                             DownloadImage's 128-byte reads, then the
//                             SHA-256 the engine checks against the
//                             catalogue's digest; timed from OpenFile to the
//                             end of the digest
//   copy (FtpGetFile)         a session and connection of the same kind,
//                             CFtpConnection::GetFile to a file in the
//                             temporary folder; the GetFile call timed
// The medians are printed and the download's over the copy's as a ratio.
//
// Memory: the process's PrivateUsage (under Wine 8 its PagefileUsage, see
// PrivateUsage() below) just before the download's file is opened, before the
// buffer is taken, and then at every MiB the download reaches and at its end;
// what the download holds beyond the buffer itself is the highest sample less
// the first, less the buffer's size, the worst over the timed rounds.
//
// Once, after the warm-up, the buffer is compared with the file FtpGetFile
// wrote, and both with the size given by --size-mib. A failed call or a
// refused check ends the program with exit code 1 (2 for a bad command line).
#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "afx_internet.h"
#include "catalogue_trust.h"
#include "ftp_retrieval.h"
#include "image_loading.h"

namespace {

// The agent name the engine falls back on for an update from the update
// manager (update_manager.cpp); a program without the engine's string table
// gets it too.
constexpr char kAgentFallback[] = "AppUnknown2";

constexpr char kDefaultHost[] = "127.0.0.41";
constexpr char kDefaultDir[] = "//BIOS";
constexpr char kDefaultFile[] = "6a69vn01.0";
constexpr int kDefaultSizeMib = 16;
constexpr int kMaxSizeMib = 256;
constexpr int kDefaultRuns = 7;
constexpr int kMaxRuns = 1000;

constexpr uint32_t kMib = 1024 * 1024;
// What the download may hold beyond its buffer and still count as lean.
constexpr int64_t kOtherLimitKib = 1024;

struct Options {
    std::string host = kDefaultHost;
    std::string dir = kDefaultDir;
    std::string file = kDefaultFile;
    int size_mib = kDefaultSizeMib;
    int runs = kDefaultRuns;
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    static const double ticks_per_ms = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return double(frequency.QuadPart) / 1000.0;
    }();
    return double(to.QuadPart - from.QuadPart) / ticks_per_ms;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// Which counter PrivateUsage() read last: Windows fills PrivateUsage and
// gives PagefileUsage the same value; Wine 8 leaves PrivateUsage at 0 and
// puts the process's private memory (its anonymous resident and swapped
// pages) in PagefileUsage only.
const char* g_memory_counter = "PrivateUsage";

// The process's private committed bytes; 0 when they cannot be had.
int64_t PrivateUsage() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
        return 0;
    }
    if (counters.PrivateUsage != 0) return int64_t(counters.PrivateUsage);
    g_memory_counter = "PagefileUsage, PrivateUsage reads 0";
    return int64_t(counters.PagefileUsage);
}

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using UniqueFile = std::unique_ptr<void, HandleCloser>;

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    bytes->resize(size_t(size.QuadPart));
    DWORD read = 0;
    return bytes->empty() ||
           (ReadFile(file.get(), bytes->data(), DWORD(bytes->size()), &read, nullptr) && read == bytes->size());
}

// A file name in the system's temporary folder for FtpGetFile's copies;
// empty when there is none.
std::string CopyTarget() {
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return {};
    return std::string(temp) + "vossel-ftp-download-" + std::to_string(GetCurrentProcessId()) + ".bin";
}

struct Bench {
    Options options;
    uint32_t expected_size = 0;
    std::string copy_target;
};

// One engine download; the buffer stays with the caller for the check.
struct Download {
    ImageBuffer buffer;
    uint32_t total = 0;
    double ms = 0;
    int64_t baseline = 0;  // PrivateUsage before the file is opened
    int64_t peak = 0;      // the highest sample while it downloads
};

// A session and a connection in the site's directory, as the engine gets
// them; nullptr (and why in *problem) when the server does not give them.
std::unique_ptr<CFtpConnection> Connect(const Bench& bench, CInternetSession& session, std::string* problem) {
    if (session.handle() == nullptr) {
        *problem = "InternetOpen failed with error " + std::to_string(GetLastError());
        return nullptr;
    }
    DWORD error = 0;
    std::unique_ptr<CFtpConnection> connection =
        ConnectToSite(session, bench.options.host.c_str(), "", "", &error);
    if (!connection) {
        *problem = "cannot connect to " + bench.options.host + " (error " + std::to_string(error) + ")";
        return nullptr;
    }
    if (!connection->SetCurrentDirectory(bench.options.dir.c_str())) {
        *problem = "no directory " + bench.options.dir + " on " + bench.options.host + " (error " +
                   std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    return connection;
}

bool RunDownload(const Bench& bench, Download* download, std::string* problem) {
    CInternetSession session(AgentName(kAgentFallback).c_str());
    std::unique_ptr<CFtpConnection> connection = Connect(bench, session, problem);
    if (!connection) return false;
    download->buffer.Release();
    download->total = 0;

    download->baseline = PrivateUsage();
    download->peak = download->baseline;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    std::unique_ptr<CInternetFile> file =
        connection->OpenFile(bench.options.file.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY);
    if (!file) {
        *problem = "OpenFile of " + bench.options.file + " failed with error " + std::to_string(GetLastError());
        return false;
    }
    if (!download->buffer.Allocate(uint64_t{bench.expected_size} + 1)) {
        *problem = "no buffer of " + std::to_string(bench.expected_size + 1) + " bytes";
        return false;
    }
    uint32_t next_sample = kMib;
    const DownloadResult result =
        DownloadImage(*file, download->buffer.data(), size_t(download->buffer.size()), &download->total,
                      [&](uint32_t total) {
                          if (total < next_sample) return;
                          next_sample += kMib;
                          download->peak = std::max(download->peak, PrivateUsage());
                      });
    vossel::Digest digest{};
    const bool hashed = result == DownloadResult::kComplete && Sha256(download->buffer.data(), download->total, &digest);
    QueryPerformanceCounter(&end);
    download->peak = std::max(download->peak, PrivateUsage());
    file->Close();

    if (result != DownloadResult::kComplete) {
        *problem = result == DownloadResult::kTooLong
                       ? "the file is longer than " + std::to_string(bench.expected_size) + " bytes"
                       : "the transfer broke off after " + std::to_string(download->total) + " bytes";
        return false;
    }
    if (!hashed) {
        *problem = "no SHA-256 of the download";
        return false;
    }
    if (download->total != bench.expected_size) {
        *problem = "downloaded " + std::to_string(download->total) + " bytes, expected " +
                   std::to_string(bench.expected_size);
        return false;
    }
    download->ms = Milliseconds(start, end);
    return true;
}

bool RunGetFile(const Bench& bench, double* ms, std::string* problem) {
    CInternetSession session(AgentName(kAgentFallback).c_str());
    std::unique_ptr<CFtpConnection> connection = Connect(bench, session, problem);
    if (!connection) return false;
    DeleteFileA(bench.copy_target.c_str());
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const BOOL copied = connection->GetFile(bench.options.file.c_str(), bench.copy_target.c_str(), FALSE,
                                            FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY);
    QueryPerformanceCounter(&end);
    if (!copied) {
        *problem = "FtpGetFile of " + bench.options.file + " failed with error " + std::to_string(GetLastError());
        return false;
    }
    *ms = Milliseconds(start, end);
    return true;
}

// Empty when the download's bytes are those FtpGetFile wrote, else what
// differs.
std::string CheckDownload(const Bench& bench, const Download& download) {
    std::vector<uint8_t> copy;
    if (!ReadWholeFile(bench.copy_target, &copy)) return "cannot read " + bench.copy_target;
    if (copy.size() != bench.expected_size) {
        return "FtpGetFile wrote " + std::to_string(copy.size()) + " bytes, expected " +
               std::to_string(bench.expected_size) + " (--size-mib)";
    }
    const uint8_t* bytes = download.buffer.data();
    const auto mismatch = std::mismatch(copy.begin(), copy.end(), bytes);
    if (mismatch.first == copy.end()) return {};
    char text[96];
    std::snprintf(text, sizeof text, "the download and the FtpGetFile copy differ first at offset 0x%zX",
                  size_t(mismatch.first - copy.begin()));
    return text;
}

int Usage(const char* problem) {
    if (problem != nullptr) std::fprintf(stderr, "ftp_download_bench: %s\n", problem);
    std::fprintf(problem != nullptr ? stderr : stdout,
                 "usage: ftp_download_bench [--host H] [--dir D] [--file F] [--size-mib N] [--runs N]\n"
                 "  --host H      the FTP server (default %s), anonymous login, port 21, active mode\n"
                 "  --dir D       the directory the image is in (default %s)\n"
                 "  --file F      the image's name (default %s)\n"
                 "  --size-mib N  the image's size the download is checked against (default %d, 1 to %d)\n"
                 "  --runs N      timed rounds after one warm-up (default %d, 1 to %d)\n",
                 kDefaultHost, kDefaultDir, kDefaultFile, kDefaultSizeMib, kMaxSizeMib, kDefaultRuns, kMaxRuns);
    return problem != nullptr ? 2 : 0;
}

int Fail(const std::string& problem) {
    std::fprintf(stderr, "ftp_download_bench: %s\n", problem.c_str());
    return 1;
}

int Run(const Options& options) {
    Bench bench;
    bench.options = options;
    bench.expected_size = uint32_t(options.size_mib) * kMib;
    bench.copy_target = CopyTarget();
    if (bench.copy_target.empty()) return Fail("no temporary folder");

    std::string problem;
    Download download;
    std::vector<double> download_ms;
    std::vector<double> copy_ms;
    int64_t worst_other = INT64_MIN;
    int64_t lowest_other = INT64_MAX;

    // The warm-up round, then the check on what it brought.
    double ms = 0;
    if (RunDownload(bench, &download, &problem) && RunGetFile(bench, &ms, &problem)) {
        problem = CheckDownload(bench, download);
    }
    // Round by round, so that a drift of the machine or the server meets both
    // alike.
    for (int round = 0; round < options.runs && problem.empty(); ++round) {
        if (!RunDownload(bench, &download, &problem)) break;
        download_ms.push_back(download.ms);
        const int64_t other = download.peak - download.baseline - int64_t(download.buffer.size());
        worst_other = std::max(worst_other, other);
        lowest_other = std::min(lowest_other, other);
        if (!RunGetFile(bench, &ms, &problem)) break;
        copy_ms.push_back(ms);
    }
    const uint64_t buffer_size = download.buffer.size();
    download.buffer.Release();
    DeleteFileA(bench.copy_target.c_str());
    if (!problem.empty()) return Fail(problem);

    std::printf("FTP download of %s%s%s from %s, %d MiB: median of %d run%s after one warm-up\n",
                options.dir.c_str(), options.dir.empty() || options.dir.back() == '/' ? "" : "/",
                options.file.c_str(), options.host.c_str(), options.size_mib, options.runs,
                options.runs == 1 ? "" : "s");
    const struct {
        const char* label;
        const std::vector<double>& samples;
    } rows[] = {{"download (DownloadImage)", download_ms}, {"copy (FtpGetFile)", copy_ms}};
    for (const auto& row : rows) {
        const auto range = std::minmax_element(row.samples.begin(), row.samples.end());
        std::printf("%-26s %9.2f ms  (min %.2f, max %.2f)\n", row.label, Median(row.samples), *range.first,
                    *range.second);
    }
    std::printf("ratio download/FtpGetFile = %.2f\n", Median(download_ms) / Median(copy_ms));
    // KiB rounded away from zero, so that a few bytes over the limit do not
    // read as being under it.
    const auto kib = [](int64_t bytes) { return bytes >= 0 ? (bytes + 1023) / 1024 : -((-bytes + 1023) / 1024); };
    std::printf("memory held during download = buffer %llu B + %lld KiB other\n",
                static_cast<unsigned long long>(buffer_size), static_cast<long long>(kib(worst_other)));
    std::printf("  (%s; highest sample less the one before OpenFile, worst of %d run%s; lowest %lld KiB)\n",
                g_memory_counter, options.runs, options.runs == 1 ? "" : "s",
                static_cast<long long>(kib(lowest_other)));
    std::printf("other < %lld KiB: %s\n", static_cast<long long>(kOtherLimitKib),
                worst_other < kOtherLimitKib * 1024 ? "yes" : "no");
    std::fflush(stdout);
    return 0;
}

bool ParseNumber(const char* text, int low, int high, int* value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high) return false;
    *value = int(parsed);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return Usage(nullptr);
        if (arg != "--host" && arg != "--dir" && arg != "--file" && arg != "--size-mib" && arg != "--runs") {
            return Usage(("unknown argument " + arg).c_str());
        }
        if (++i == argc) return Usage((arg + " needs a value").c_str());
        const char* value = argv[i];
        if (arg == "--host") {
            options.host = value;
        } else if (arg == "--dir") {
            options.dir = value;
        } else if (arg == "--file") {
            options.file = value;
        } else if (arg == "--size-mib") {
            if (!ParseNumber(value, 1, kMaxSizeMib, &options.size_mib)) return Usage("bad --size-mib");
        } else if (!ParseNumber(value, 1, kMaxRuns, &options.runs)) {
            return Usage("bad number of runs");
        }
    }
    if (options.host.empty() || options.file.empty()) return Usage("empty --host or --file");
    return Run(options);
}
