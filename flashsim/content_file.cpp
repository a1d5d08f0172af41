#include "content_file.h"

#include <vector>

namespace {

std::string SystemError(const char* what, const std::string& path) {
    return std::string(what) + " \"" + path + "\" failed (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

ContentFile::~ContentFile() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
    }
}

bool ContentFile::Open(const std::string& path, uint32_t size, std::string& problem) {
    path_ = path;
    // Others may read and change the file while an operation runs: tests look
    // at the content mid-operation.
    handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        problem = SystemError("opening content file", path);
        return false;
    }
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    LARGE_INTEGER actual{};
    if (!GetFileSizeEx(handle_, &actual)) {
        problem = SystemError("sizing content file", path);
        return false;
    }
    if (created || actual.QuadPart == 0) {
        const std::vector<uint8_t> erased(size, 0xFF);
        return WriteAt(0, erased.data(), size, problem);
    }
    if (actual.QuadPart != static_cast<LONGLONG>(size)) {
        problem = "content file \"" + path + "\" holds " + std::to_string(actual.QuadPart) +
                  " bytes, the flash part " + std::to_string(size);
        return false;
    }
    return true;
}

bool ContentFile::Seek(uint32_t offset, std::string& problem) {
    LARGE_INTEGER position{};
    position.QuadPart = offset;
    if (!SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN)) {
        problem = SystemError("seeking in content file", path_);
        return false;
    }
    return true;
}

bool ContentFile::ReadAt(uint32_t offset, uint8_t* data, uint32_t length, std::string& problem) {
    if (!Seek(offset, problem)) {
        return false;
    }
    DWORD done = 0;
    if (!ReadFile(handle_, data, length, &done, nullptr)) {
        problem = SystemError("reading content file", path_);
        return false;
    }
    if (done != length) {
        problem = "content file \"" + path_ + "\" ended early at " + std::to_string(offset + done);
        return false;
    }
    return true;
}

bool ContentFile::WriteAt(uint32_t offset, const uint8_t* data, uint32_t length, std::string& problem) {
    if (!Seek(offset, problem)) {
        return false;
    }
    DWORD done = 0;
    if (!WriteFile(handle_, data, length, &done, nullptr) || done != length) {
        problem = SystemError("writing content file", path_);
        return false;
    }
    return true;
}
