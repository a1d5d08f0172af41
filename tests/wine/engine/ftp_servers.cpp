#include "ftp_servers.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>

#include "board_file.h"
#include "temp_dir.h"

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool FtpServers::Load(std::string* problem) {
    const char* state = std::getenv("FTP_STATEDIR");
    if (state == nullptr || *state == '\0') {
        *problem = "FTP_STATEDIR is not set: the engine_ftp fixture did not run";
        return false;
    }
    const std::string env = HostPathInWine(std::string(state) + "/servers.env");
    for (const std::string& line : ReadLines(env)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"')) value = value.substr(1, value.size() - 2);
        values_[line.substr(0, equals)] = value;
    }
    if (values_.empty()) {
        *problem = "no servers in " + env;
        return false;
    }
    return true;
}

std::string FtpServers::Value(const std::string& key) const {
    const auto found = values_.find(key);
    return found != values_.end() ? found->second : std::string();
}

std::string FtpServers::Root(const std::string& name) const {
    return HostPathInWine(Value(Upper(name) + "_ROOT")) + "\\";
}

std::vector<std::string> FtpServers::Log(const std::string& name) const {
    return ReadLines(HostPathInWine(Value(Upper(name) + "_LOG")));
}

void FtpServers::ClearBiosFolder(const std::string& name) const {
    RemoveTree(Root(name) + "BIOS\\");
    CreateDirectoryA((Root(name) + "BIOS").c_str(), nullptr);
}

void FtpServers::Serve(const std::string& name, const std::string& file, const std::string& bytes) const {
    CreateDirectoryA((Root(name) + "BIOS").c_str(), nullptr);
    WriteFileBytes(Root(name) + "BIOS\\" + file, bytes);
}
