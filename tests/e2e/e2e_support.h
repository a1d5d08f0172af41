// Helpers of the end-to-end test programs: a scratch folder, a message box on
// a thread of its own, a child process whose output is kept.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "program_folder.h"

namespace e2e {

struct HandleClose {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleClose>;

using robot::ProgramDir;  // this program's folder, with its trailing backslash

bool FileExists(const std::string& path);

// The pixels of a bitmap file, top row first, as RGB; empty if it cannot be
// read.
std::vector<uint8_t> BitmapFileRgb(const std::string& path);

// A host (Unix) path as Wine shows it: Z: and backslashes.
std::string HostPathInWine(const std::string& unixPath);

// A new empty folder under the system's temporary folder; removed with its
// files (not subfolders) when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }  // with trailing backslash
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// MessageBoxA(nullptr, text, caption, type) on a thread of its own. If the
// box is still open when the object goes (a test failed before answering it),
// it is answered with its first button so the program does not wait for ever.
class BoxOnThread {
public:
    BoxOnThread(std::string text, std::string caption, UINT type);
    ~BoxOnThread();
    BoxOnThread(const BoxOnThread&) = delete;
    BoxOnThread& operator=(const BoxOnThread&) = delete;

    bool started() const { return thread_ != nullptr; }
    // Waits up to timeout_ms for the box to be answered; its result, or 0 if
    // it was still open.
    int Result(DWORD timeout_ms);

private:
    static DWORD WINAPI ThreadMain(void* self);

    std::string text_;
    std::string caption_;
    UINT type_;
    int result_ = 0;
    UniqueHandle thread_;
};

struct ProgramRun {
    bool finished = false;
    DWORD exit_code = 0;
    std::string output;  // standard output
};

// Runs command_line with its standard output caught; a program still running
// after timeout_ms is ended and reported as not finished.
ProgramRun RunProgram(const std::string& command_line, DWORD timeout_ms);

}  // namespace e2e
