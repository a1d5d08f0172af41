#include "profile_file.h"

#include <windows.h>

#include "engine_state.h"

std::string ProfileFile::Get(const std::string& section, const std::string& key) const {
    char value[vossel::kProfileValueBufferSize] = {};
    const DWORD length =
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof value, path_.c_str());
    return std::string(value, length < sizeof value ? length : sizeof value - 1);
}

bool ProfileFile::Put(const std::string& section, const std::string& key, const std::string& value) const {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path_.c_str()) != FALSE;
}

std::string EngineFolderFile(const char* name) { return std::string(Engine.ModuleDir) + name; }
