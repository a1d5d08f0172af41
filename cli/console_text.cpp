#include "console_text.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vcli {

std::string Format(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

std::string OneLine(const char* text) {
    std::string line;
    for (const char* c = text; *c != '\0'; ++c) {
        const char ch = (*c == '\r' || *c == '\n' || *c == '\t') ? ' ' : *c;
        if (ch == ' ' && (line.empty() || line.back() == ' ')) continue;
        line += ch;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::string Field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

void Fail(const std::string& message) { fprintf(stderr, "vossel: %s\n", message.c_str()); }

std::string FullPath(const std::string& path) {
    char full[MAX_PATH * 4] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? std::string(full, length) : path;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Confirm(const std::string& question, bool to_stderr) {
    FILE* out = to_stderr ? stderr : stdout;
    fprintf(out, "%s [y/N] ", question.c_str());
    fflush(out);
    char answer[64] = {};
    if (fgets(answer, sizeof answer, stdin) == nullptr) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

}  // namespace vcli
