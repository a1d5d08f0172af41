#include "box_watcher.h"

#include <algorithm>

#include "screen_capture.h"

namespace robot {
namespace {

constexpr DWORD kReadyTimeoutMs = 30000;

}  // namespace

BoxWatcher::BoxWatcher(Options options)
    : options_(std::move(options)),
      ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

BoxWatcher::~BoxWatcher() { Stop(); }

bool BoxWatcher::Start() {
    if (thread_ || !ready_ || !stop_) return false;
    deadline_ = GetTickCount64() + options_.deadline_ms;
    thread_.reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    if (!thread_) return false;
    HANDLE waits[] = {ready_.get(), thread_.get()};
    return WaitForMultipleObjects(2, waits, FALSE, kReadyTimeoutMs) == WAIT_OBJECT_0;
}

void BoxWatcher::Stop() {
    if (!thread_) return;
    SetEvent(stop_.get());
    // The thread leaves within one poll, or within one look at the windows.
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
}

std::vector<SeenBox> BoxWatcher::ExpectedBoxes() const {
    std::vector<SeenBox> expected;
    std::copy_if(boxes_.begin(), boxes_.end(), std::back_inserter(expected),
                 [](const SeenBox& box) { return box.expected; });
    return expected;
}

DWORD WINAPI BoxWatcher::ThreadMain(void* self) {
    auto* watcher = static_cast<BoxWatcher*>(self);
    watcher->WarmUp();
    SetEvent(watcher->ready_.get());
    watcher->Watch();
    return 0;
}

void BoxWatcher::WarmUp() {
    // Every kind of window, message and GDI call the watch makes, once.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    GetDesktopWindow();
    WindowQuery own;
    own.process_id = GetCurrentProcessId();
    own.visible_only = false;
    for (HWND window : FindWindows(own)) {
        WindowInfo info;
        ReadWindow(window, &info);
    }
    RgbImage pixel;
    CaptureScreenRect(RECT{0, 0, 1, 1}, &pixel);
    EncodePng(pixel);
}

void BoxWatcher::Watch() {
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline_) {
            deadline_reached_ = true;
            Look(true);
            return;
        }
        Look(false);
        const DWORD wait = DWORD(std::min<ULONGLONG>(options_.poll_ms, deadline_ - now));
        if (WaitForSingleObject(stop_.get(), wait) == WAIT_OBJECT_0) return;
    }
}

void BoxWatcher::Look(bool at_deadline) {
    WindowQuery dialogs;
    dialogs.class_name = kDialogClass;
    dialogs.process_id = GetCurrentProcessId();
    for (HWND window : FindWindows(dialogs)) {
        auto seen = std::find_if(boxes_.begin(), boxes_.end(), [window](const SeenBox& box) { return box.info.hwnd == window; });
        if (seen == boxes_.end()) {
            SeenBox box;
            if (!ReadWindow(window, &box.info)) continue;
            box.expected = box.info.caption == options_.caption;
            boxes_.push_back(std::move(box));
            seen = boxes_.end() - 1;
            if (seen->expected && !options_.screenshot_path.empty() && !screenshot_saved_) {
                // Paint it now so the screen shows the finished box.
                RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
                screenshot_saved_ = SaveScreenshot(window, options_.screenshot_path);
            }
        }
        if (seen->answered) continue;
        if (seen->expected) {
            seen->answered = PressButton(window, options_.button);
        } else if (at_deadline) {
            seen->answered = PressFirstButton(window);
        }
    }
}

}  // namespace robot
