// Watches the own process for message boxes while the process is busy in a
// call that shows them (a LoadLibrary whose start-up reports an error, say):
// records each box, saves a screenshot of the first and answers it.
//
// Wine sets up a thread's window state on the thread's first window call and
// may load libraries while doing so. A box shown from a DllMain comes up while
// its thread holds the loader lock, so a watcher thread that made its first
// window call only then would wait for that lock for ever. Start() therefore
// returns only after the thread has made every kind of call it makes later.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "window_robot.h"

namespace robot {

struct SeenBox {
    WindowInfo info;        // as read before it was answered
    bool expected = false;  // caption matched the watched caption
    bool answered = false;  // the watcher pressed a button of it
};

class BoxWatcher {
public:
    struct Options {
        std::string caption;          // boxes with this caption are answered
        std::string button = "OK";    // with this button
        std::string screenshot_path;  // where the first such box is saved; empty: nowhere
        DWORD deadline_ms = 30000;    // counted from Start()
        DWORD poll_ms = kDefaultPollMs;
    };

    explicit BoxWatcher(Options options);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    // Starts the thread and returns once it is ready to watch; false if it
    // could not be started or did not become ready in time.
    bool Start();

    // Ends the watch and waits for the thread. Boxes of another caption that
    // were still open at the deadline have been answered with their first
    // button, so a stray box cannot keep the process waiting.
    void Stop();

    // Every dialog of the process the watcher saw, in the order it saw them.
    // Valid after Stop().
    const std::vector<SeenBox>& boxes() const { return boxes_; }
    std::vector<SeenBox> ExpectedBoxes() const;
    bool screenshot_saved() const { return screenshot_saved_; }
    bool deadline_reached() const { return deadline_reached_; }

private:
    static DWORD WINAPI ThreadMain(void* self);
    void WarmUp();
    void Watch();
    void Look(bool at_deadline);

    struct HandleClose {
        void operator()(HANDLE handle) const { CloseHandle(handle); }
    };
    using Handle = std::unique_ptr<void, HandleClose>;

    Options options_;
    Handle ready_;
    Handle stop_;
    Handle thread_;
    ULONGLONG deadline_ = 0;
    std::vector<SeenBox> boxes_;
    bool screenshot_saved_ = false;
    bool deadline_reached_ = false;
};

}  // namespace robot
