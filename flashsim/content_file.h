// A flash part's content kept in a file of exactly the part's size.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class ContentFile {
public:
    ContentFile() = default;
    ~ContentFile();
    ContentFile(const ContentFile&) = delete;
    ContentFile& operator=(const ContentFile&) = delete;

    // Opens the part's file for reading and writing, creating it filled with
    // 0xFF (an erased part) when it does not exist yet. Fails, with the reason
    // in problem, when the file cannot be opened or holds other than size bytes.
    bool Open(const std::string& path, uint32_t size, std::string& problem);

    bool ReadAt(uint32_t offset, uint8_t* data, uint32_t length, std::string& problem);
    bool WriteAt(uint32_t offset, const uint8_t* data, uint32_t length, std::string& problem);

private:
    bool Seek(uint32_t offset, std::string& problem);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::string path_;
};
