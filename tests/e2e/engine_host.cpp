#include "engine_host.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "png_writer.h"
#include "screen_capture.h"
#include "window_robot.h"

namespace e2e {

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string MakeAwardImage(const std::string& path, const char* filler) {
    const ProgramRun made = RunProgram("\"" + ProgramDir() + "vossel-mkimage.exe\" award --size 1M --part 6A69VN01 "
                                       "--filler " + std::string(filler) + " -o \"" + path + "\"",
                                       60000);
    EXPECT_TRUE(made.finished && made.exit_code == 0) << made.output;
    return ReadAll(path);
}

EngineCall::EngineCall(std::function<int()> call) : call_(std::move(call)) {
    thread_.reset(CreateThread(nullptr, 0, &EngineCall::Run, this, 0, nullptr));
}

EngineCall::~EngineCall() {
    for (int round = 0; round < 50 && !Finished(100); ++round) {
        for (HWND window : robot::FindWindows({std::nullopt, std::string(robot::kDialogClass), GetCurrentProcessId()})) {
            robot::RequestClose(window);
        }
    }
}

bool EngineCall::Finished(DWORD timeout_ms) {
    return thread_ != nullptr && WaitForSingleObject(thread_.get(), timeout_ms) == WAIT_OBJECT_0;
}

DWORD WINAPI EngineCall::Run(void* self) {
    auto* call = static_cast<EngineCall*>(self);
    call->result_ = call->call_();
    return 0;
}

ProgressPoller::ProgressPoller(std::function<ProgressSample()> read) : read_(std::move(read)) {
    thread_.reset(CreateThread(nullptr, 0, &ProgressPoller::Run, this, 0, nullptr));
}

ProgressPoller::~ProgressPoller() { Stop(); }

std::vector<ProgressSample> ProgressPoller::Stop() {
    stop_ = true;
    if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
    return seen_;
}

DWORD WINAPI ProgressPoller::Run(void* self) {
    auto* poller = static_cast<ProgressPoller*>(self);
    while (!poller->stop_) {
        const ProgressSample sample = poller->read_();
        if (poller->seen_.empty() || !(poller->seen_.back() == sample)) poller->seen_.push_back(sample);
        Sleep(2);
    }
    return 0;
}

std::function<ProgressSample()> ProgressPoller::EngineProgress(ProgressFn progress) {
    return [progress] {
        ProgressSample sample{-1, -1, -1};
        progress(&sample.status, &sample.percent, &sample.busy);
        return sample;
    };
}

std::vector<int> ProgressPoller::WritePhases(const std::vector<ProgressSample>& samples) {
    std::vector<int> phases;
    for (int status : Statuses(samples)) {
        if (status == kStatusErasing || status == kStatusWriting || status == kStatusVerifying) phases.push_back(status);
    }
    return phases;
}

std::vector<int> ProgressPoller::Statuses(const std::vector<ProgressSample>& samples) {
    std::vector<int> statuses;
    for (const ProgressSample& sample : samples) {
        if (sample.busy == 1 && (statuses.empty() || statuses.back() != sample.status)) {
            statuses.push_back(sample.status);
        }
    }
    return statuses;
}

HWND WaitForDialog(const std::string& caption) {
    return robot::WaitForWindow({caption, std::string(robot::kDialogClass), GetCurrentProcessId()},
                                kWindowTimeoutMs);
}

bool WaitUntilGone(HWND window) {
    const ULONGLONG deadline = GetTickCount64() + kWindowTimeoutMs;
    while (IsWindow(window)) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(robot::kDefaultPollMs);
    }
    return true;
}

HWND FindControl(HWND dialog, const std::string& class_name) {
    for (const robot::ChildWindow& child : robot::ReadDescendants(dialog)) {
        if (child.class_name == class_name && child.visible) return child.hwnd;
    }
    return nullptr;
}

std::string Describe(HWND dialog) {
    std::string text;
    for (const robot::ChildWindow& child : robot::ReadDescendants(dialog)) {
        text += child.class_name + " #" + std::to_string(child.id) + " \"" + robot::Escape(child.text) + "\"" +
                (child.visible ? "" : " (hidden)") + "\n";
    }
    return text;
}

void Repaint(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

InkCount CountInk(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    robot::RgbImage image;
    InkCount ink;
    if (!robot::CaptureScreenRect(client, &image)) return ink;
    for (unsigned y = 0; y < image.height; ++y) {
        for (unsigned x = 0; x < image.width; ++x) {
            const uint8_t* p = image.Pixel(x, y);
            if (p[0] > 200 && p[1] < 60 && p[2] < 60) ++ink.red;
            if (p[0] < 60 && p[1] < 60 && p[2] < 60) ++ink.black;
        }
    }
    return ink;
}

}  // namespace e2e
