#include "temp_dir.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((dir + "*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = dir + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full + "\\");
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

TempDir::TempDir(const char* prefix) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    char name[MAX_PATH];
    if (GetTempFileNameA(base, prefix, 0, name) == 0) throw std::runtime_error("GetTempFileName failed");
    // GetTempFileName creates a file to claim the unique name; a directory
    // takes its place.
    DeleteFileA(name);
    if (!CreateDirectoryA(name, nullptr)) throw std::runtime_error("CreateDirectory failed");
    path_ = std::string(name) + "\\";
}

TempDir::~TempDir() { RemoveTree(path_); }

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string HostPathInWine(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string ProgramDir() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, length);
    return dir.substr(0, dir.rfind('\\') + 1);
}
