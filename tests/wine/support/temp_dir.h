// A fresh directory under the system's temporary folder, removed with all it
// holds when the object goes out of scope.
#pragma once

#include <string>

class TempDir {
public:
    explicit TempDir(const char* prefix = "vsl");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // With a trailing backslash.
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Removes the folder dir (with its trailing backslash) and all it holds.
void RemoveTree(const std::string& dir);

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);

// A host (Unix) path as Wine shows it: Z: and backslashes.
std::string HostPathInWine(const std::string& unixPath);

// Directory of the running test program, with a trailing backslash.
std::string ProgramDir();
