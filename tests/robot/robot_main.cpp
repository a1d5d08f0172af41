// robot.exe: the window robot for scripts.
//
//   robot find  [window] [--timeout MS]             prints the window's handle
//   robot read  [window] [--timeout MS]             prints caption, class, owner,
//                                                   style, children, statics, buttons
//   robot press [window] [--timeout MS] --button TEXT
//   robot close [window] [--timeout MS]
//   robot shot  [window] [--timeout MS] --out FILE.png   (no window: the screen)
//   robot click [window] [--timeout MS] --at X,Y    a left click at client point X,Y
//   robot hover [window] [--timeout MS] --at X,Y    the mouse moved to client point X,Y
//
// window: any of --caption TEXT, --class NAME, --pid N, --hidden (also match
// invisible windows). Texts are printed with C escapes, one item a line.
// Exit status: 0 done, 1 no such window or the action failed, 2 usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "screen_capture.h"
#include "window_robot.h"

namespace {

constexpr DWORD kDefaultTimeoutMs = 10000;

struct Arguments {
    std::string command;
    robot::WindowQuery query;
    bool window_given = false;
    DWORD timeout_ms = kDefaultTimeoutMs;
    std::string button;
    std::string out;
    bool point_given = false;
    int x = 0;
    int y = 0;
};

int Usage(const char* problem) {
    std::fprintf(stderr,
                 "robot: %s\n"
                 "usage: robot find|read|press|close|shot|click|hover [--caption TEXT] [--class NAME] [--pid N] [--hidden]\n"
                 "             [--timeout MS] [--button TEXT] [--out FILE.png] [--at X,Y]\n",
                 problem);
    return 2;
}

bool ParseNumber(const char* text, DWORD* value) {
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(text, &end, 0);
    if (end == text || *end != '\0') return false;
    *value = DWORD(parsed);
    return true;
}

// Fills args from argv; an empty return means success, otherwise the problem.
std::string Parse(int argc, char** argv, Arguments* args) {
    if (argc < 2) return "no command";
    args->command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--hidden") {
            args->query.visible_only = false;
            continue;
        }
        if (i + 1 >= argc) return "missing value after " + option;
        const char* value = argv[++i];
        if (option == "--caption") {
            args->query.caption = value;
            args->window_given = true;
        } else if (option == "--class") {
            args->query.class_name = value;
            args->window_given = true;
        } else if (option == "--pid") {
            if (!ParseNumber(value, &args->query.process_id)) return "bad process id";
            args->window_given = true;
        } else if (option == "--timeout") {
            if (!ParseNumber(value, &args->timeout_ms)) return "bad timeout";
        } else if (option == "--button") {
            args->button = value;
        } else if (option == "--out") {
            args->out = value;
        } else if (option == "--at") {
            if (std::sscanf(value, "%d,%d", &args->x, &args->y) != 2) return "bad point";
            args->point_given = true;
        } else {
            return "unknown option " + option;
        }
    }
    return {};
}

void PrintInfo(const robot::WindowInfo& info) {
    std::printf("hwnd=%p\n", static_cast<void*>(info.hwnd));
    std::printf("caption=%s\n", robot::Escape(info.caption).c_str());
    std::printf("class=%s\n", robot::Escape(info.class_name).c_str());
    std::printf("owner=%p\n", static_cast<void*>(info.owner));
    std::printf("style=0x%08lX\n", static_cast<unsigned long>(info.style));
    std::printf("exstyle=0x%08lX\n", static_cast<unsigned long>(info.ex_style));
    std::printf("pid=%lu\n", static_cast<unsigned long>(info.process_id));
    std::printf("rect=%ld,%ld,%ld,%ld\n", info.rect.left, info.rect.top, info.rect.right, info.rect.bottom);
    for (const robot::ChildWindow& child : info.children) {
        std::printf("child=%d %s %s %s\n", child.id, robot::Escape(child.class_name).c_str(),
                    child.visible ? "visible" : "hidden", robot::Escape(child.text).c_str());
    }
    for (const std::string& text : info.StaticTexts()) std::printf("static=%s\n", robot::Escape(text).c_str());
    for (const std::string& text : info.ButtonTexts()) std::printf("button=%s\n", robot::Escape(text).c_str());
}

int Run(const Arguments& args) {
    const bool whole_screen = args.command == "shot" && !args.window_given;
    HWND window = nullptr;
    if (!whole_screen) {
        if (!args.window_given) return Usage("no window given");
        window = robot::WaitForWindow(args.query, args.timeout_ms);
        if (window == nullptr) {
            std::fprintf(stderr, "robot: no such window within %lu ms\n", static_cast<unsigned long>(args.timeout_ms));
            return 1;
        }
    }

    if (args.command == "find") {
        std::printf("hwnd=%p\n", static_cast<void*>(window));
        return 0;
    }
    if (args.command == "read") {
        robot::WindowInfo info;
        if (!robot::ReadWindow(window, &info)) return 1;
        PrintInfo(info);
        return 0;
    }
    if (args.command == "press") {
        if (args.button.empty()) return Usage("press needs --button");
        if (robot::PressButton(window, args.button)) return 0;
        std::fprintf(stderr, "robot: no button \"%s\"\n", robot::Escape(args.button).c_str());
        return 1;
    }
    if (args.command == "close") return robot::RequestClose(window) ? 0 : 1;
    if (args.command == "click" || args.command == "hover") {
        if (!args.point_given) return Usage("click and hover need --at X,Y");
        const bool done = args.command == "click" ? robot::ClickAt(window, args.x, args.y)
                                                   : robot::MoveMouse(window, args.x, args.y);
        return done ? 0 : 1;
    }
    if (args.command == "shot") {
        if (args.out.empty()) return Usage("shot needs --out");
        if (robot::SaveScreenshot(window, args.out)) return 0;
        std::fprintf(stderr, "robot: could not save %s\n", args.out.c_str());
        return 1;
    }
    return Usage("unknown command");
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    const std::string problem = Parse(argc, argv, &args);
    if (!problem.empty()) return Usage(problem.c_str());
    const int status = Run(args);
    std::fflush(stdout);
    return status;
}
