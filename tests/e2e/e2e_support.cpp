#include "e2e_support.h"

#include <cstdio>
#include <vector>

#include "window_robot.h"

namespace e2e {
namespace {

constexpr DWORD kRescueTimeoutMs = 10000;

}  // namespace

std::string HostPathInWine(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::vector<uint8_t> BitmapFileRgb(const std::string& path) {
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (bitmap == nullptr) return {};
    BITMAP size = {};
    GetObjectA(bitmap, sizeof size, &size);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.bmWidth;
    info.bmiHeader.biHeight = -size.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint8_t> bgra(size_t(size.bmWidth) * size_t(size.bmHeight) * 4);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, UINT(size.bmHeight), bgra.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    std::vector<uint8_t> rgb;
    for (size_t i = 0; i < bgra.size(); i += 4) rgb.insert(rgb.end(), {bgra[i + 2], bgra[i + 1], bgra[i]});
    return rgb;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

ScratchDir::ScratchDir() {
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return;
    // The process id and a counter make the name unique among concurrent runs.
    static unsigned counter = 0;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = std::string(temp) + "vossel-e2e-" + std::to_string(GetCurrentProcessId()) +
                                      "-" + std::to_string(++counter);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate + "\\";
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    if (path_.empty()) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((path_ + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    // A library that stays loaded keeps its file and so the folder: left to
    // the system's temporary-file cleanup.
    RemoveDirectoryA(path_.c_str());
}

BoxOnThread::BoxOnThread(std::string text, std::string caption, UINT type)
    : text_(std::move(text)), caption_(std::move(caption)), type_(type),
      thread_(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr)) {}

BoxOnThread::~BoxOnThread() {
    if (!thread_) return;
    if (WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT) {
        robot::WindowQuery query;
        query.caption = caption_;
        query.class_name = robot::kDialogClass;
        query.process_id = GetCurrentProcessId();
        if (HWND box = robot::WaitForWindow(query, kRescueTimeoutMs)) robot::PressFirstButton(box);
    }
    if (WaitForSingleObject(thread_.get(), kRescueTimeoutMs) != WAIT_OBJECT_0) {
        // The thread still uses this object; end the program rather than
        // free it under a box nobody can answer.
        std::fprintf(stderr, "box \"%s\" could not be answered; ending the program\n", caption_.c_str());
        std::fflush(stderr);
        ExitProcess(3);
    }
}

int BoxOnThread::Result(DWORD timeout_ms) {
    if (!thread_ || WaitForSingleObject(thread_.get(), timeout_ms) != WAIT_OBJECT_0) return 0;
    return result_;
}

DWORD WINAPI BoxOnThread::ThreadMain(void* self) {
    auto* box = static_cast<BoxOnThread*>(self);
    box->result_ = MessageBoxA(nullptr, box->text_.c_str(), box->caption_.c_str(), box->type_);
    return 0;
}

ProgramRun RunProgram(const std::string& command_line, DWORD timeout_ms) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return run;
    UniqueHandle reader(read_end);
    UniqueHandle writer(write_end);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        return run;
    }
    UniqueHandle process_handle(process.hProcess);
    UniqueHandle thread_handle(process.hThread);
    writer.reset();  // the child holds the only write end now

    // Read while waiting so a chatty child never blocks on a full pipe.
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        DWORD available = 0;
        while (PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char chunk[4096];
            DWORD got = 0;
            if (!ReadFile(read_end, chunk, sizeof chunk, &got, nullptr) || got == 0) break;
            run.output.append(chunk, got);
        }
        if (run.finished) break;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        const DWORD wait = DWORD(deadline - now < 20 ? deadline - now : 20);
        if (WaitForSingleObject(process.hProcess, wait) == WAIT_OBJECT_0) run.finished = true;  // one more read
    }
    if (!run.finished) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, kRescueTimeoutMs);
        return run;
    }
    GetExitCodeProcess(process.hProcess, &run.exit_code);
    return run;
}

}  // namespace e2e
