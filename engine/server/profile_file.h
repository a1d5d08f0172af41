// An INI file of the engine's folder read through GetPrivateProfileStringA,
// as the portable site and catalogue rules take it.
#pragma once

#include <string>

#include "profile_values.h"

class ProfileFile : public vossel::ProfileReader {
public:
    explicit ProfileFile(std::string path) : path_(std::move(path)) {}
    std::string Get(const std::string& section, const std::string& key) const override;
    // WritePrivateProfileStringA; false when the file cannot be written.
    bool Put(const std::string& section, const std::string& key, const std::string& value) const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// "%s<name>" with the engine's folder.
std::string EngineFolderFile(const char* name);
