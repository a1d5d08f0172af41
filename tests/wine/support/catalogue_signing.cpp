#include "catalogue_signing.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace catalogue_signing {
namespace {

constexpr DWORD kToolTimeLimitMs = 60000;

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A name no earlier call used, so that a late file of a failed call is never
// taken for the answer of a later one.
std::string FreshName(const char* stem) {
    static std::atomic<unsigned> counter{0};
    return std::string(stem) + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

// Starts the tool with arguments (host paths quoted by the caller) and waits
// for output (a Windows path) to appear.
bool RunTool(const std::string& arguments, const std::string& output, std::string* problem) {
    std::string command = std::string("\"") + VOSSEL_SIGNING_PYTHON + "\" \"" + VOSSEL_SIGN_TOOL + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        *problem = "cannot start the signing tool: " + command;
        return false;
    }
    // A host process: Wine's handles of it cannot be waited on.
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    if (process.hProcess != nullptr) CloseHandle(process.hProcess);
    const ULONGLONG deadline = GetTickCount64() + kToolTimeLimitMs;
    while (!Exists(output)) {
        if (GetTickCount64() > deadline) {
            *problem = "the signing tool made no " + output + " within a minute: " + command;
            return false;
        }
        Sleep(20);
    }
    return true;
}

std::string Quoted(const std::string& windowsPath) { return "\"" + HostPath(windowsPath) + "\""; }

}  // namespace

std::string TestKey() {
    std::string path = std::string("Z:") + VOSSEL_TEST_CATALOGUE_KEY;
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
}

std::string HostPath(const std::string& windowsPath) {
    using ToUnix = char*(CDECL*)(const WCHAR*);
    static const ToUnix to_unix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (to_unix == nullptr) return std::string();
    WCHAR wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH);
    char* unix_path = to_unix(wide);
    if (unix_path == nullptr) return std::string();
    std::string result = unix_path;
    HeapFree(GetProcessHeap(), 0, unix_path);
    return result;
}

std::string MakeKey(const std::string& folder, const std::string& name, std::string* problem) {
    const std::string key = folder + name + ".pem";
    const std::string public_key = folder + name + ".pub";
    if (!RunTool("keygen " + Quoted(key) + " " + Quoted(public_key), public_key, problem)) return std::string();
    return key;
}

bool Sign(const std::string& catalogue, const std::string& privateKey, const std::string& scratch,
          std::string* signature, std::string* problem) {
    const std::string name = FreshName("catalogue");
    const std::string input = scratch + name + ".ini";
    const std::string output = scratch + name + ".sig";
    WriteAll(input, catalogue);
    if (!RunTool("sign " + Quoted(privateKey) + " " + Quoted(input) + " " + Quoted(output), output, problem)) {
        return false;
    }
    *signature = ReadAll(output);
    DeleteFileA(input.c_str());
    DeleteFileA(output.c_str());
    return true;
}

bool DigestLine(const std::string& image, int entry, const std::string& scratch, std::string* line,
                std::string* problem) {
    const std::string name = FreshName("image");
    const std::string input = scratch + name + ".bin";
    const std::string output = scratch + name + ".txt";
    WriteAll(input, image);
    if (!RunTool("digest " + Quoted(input) + " --entry " + std::to_string(entry) + " --output " + Quoted(output),
                 output, problem)) {
        return false;
    }
    *line = ReadAll(output);
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
    *line += "\r\n";
    DeleteFileA(input.c_str());
    DeleteFileA(output.c_str());
    return true;
}

}  // namespace catalogue_signing
