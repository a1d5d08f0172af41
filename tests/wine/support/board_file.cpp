#include "board_file.h"

#include <sstream>

#include "temp_dir.h"

void WriteBoardFile(const std::string& path, const BoardFile& board) {
    std::ostringstream ini;
    for (const auto& [section, keys] : board) {
        ini << "[" << section << "]\r\n";
        for (const auto& [key, value] : keys) ini << key << "=" << value << "\r\n";
    }
    WriteFileBytes(path, ini.str());
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}
