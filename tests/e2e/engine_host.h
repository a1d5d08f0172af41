// What the end-to-end host programs share: the engine's functions bound by
// name, engine calls on threads of their own with bounded waits, a poller of
// the progress figures, and the robot's steps on the engine's dialogs.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "records.h"

namespace e2e {

constexpr DWORD kWindowTimeoutMs = 60000;
constexpr DWORD kFinishTimeoutMs = 60000;

using ProgressFn = void(__cdecl*)(int*, int*, int*);

template <typename Function>
Function Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string ReadAll(const std::string& path);

// A 1 MiB Award image for part number 6A69VN01 with the filler byte given
// ("0x5A"), made by vossel-mkimage.exe at path; its bytes, or empty (with a
// test failure) when it could not be made.
std::string MakeAwardImage(const std::string& path, const char* filler);

// A call of the engine on a thread of its own, with a bounded wait for its
// end. A test that failed half-way leaves a dialog open: the destructor closes
// what is left of this process's dialogs so that the call can end.
class EngineCall {
public:
    explicit EngineCall(std::function<int()> call);
    ~EngineCall();
    EngineCall(const EngineCall&) = delete;
    EngineCall& operator=(const EngineCall&) = delete;
    bool started() const { return thread_ != nullptr; }
    bool Finished(DWORD timeout_ms);
    int result() const { return result_; }

private:
    static DWORD WINAPI Run(void* self);
    std::function<int()> call_;
    std::atomic<int> result_{-1};
    UniqueHandle thread_;
};

// One reading of the progress figures.
struct ProgressSample {
    int status;
    int percent;
    int busy;
    bool operator==(const ProgressSample& other) const {
        return status == other.status && percent == other.percent && busy == other.busy;
    }
};

// Reads progress every few milliseconds until stopped; each run of equal
// readings is kept once.
class ProgressPoller {
public:
    explicit ProgressPoller(std::function<ProgressSample()> read);
    ~ProgressPoller();
    std::vector<ProgressSample> Stop();
    // Samples of Get_Progress_Status.
    static std::function<ProgressSample()> EngineProgress(ProgressFn progress);
    // The statuses seen while Busy was 1, each run of one status once.
    static std::vector<int> Statuses(const std::vector<ProgressSample>& samples);
    // The driver's write phases (erasing, writing, verifying) among them.
    static std::vector<int> WritePhases(const std::vector<ProgressSample>& samples);

private:
    static DWORD WINAPI Run(void* self);
    std::function<ProgressSample()> read_;
    std::atomic<bool> stop_{false};
    std::vector<ProgressSample> seen_;
    UniqueHandle thread_;
};

// The first dialog of this process with that caption, once it is there.
HWND WaitForDialog(const std::string& caption);
// Polls until window is destroyed; false when it is still there at the timeout.
bool WaitUntilGone(HWND window);
// The first visible control of dialog (any depth) of that class.
HWND FindControl(HWND dialog, const std::string& class_name);
// The dialog's controls, one a line, for failure messages.
std::string Describe(HWND dialog);
// Has window and its children paint themselves now, so that what the screen
// shows (and a screenshot takes) is their current state.
void Repaint(HWND window);

// Pixels of the window's client area (as the screen shows it) by colour.
struct InkCount {
    size_t red = 0;
    size_t black = 0;
};
InkCount CountInk(HWND window);

}  // namespace e2e
