// The simulated driver's board file as tests write it, and text files read
// back as lines (the driver's journal).
#pragma once

#include <map>
#include <string>
#include <vector>

// INI text of a board: section -> key -> value.
using BoardFile = std::map<std::string, std::map<std::string, std::string>>;

void WriteBoardFile(const std::string& path, const BoardFile& board);

// The lines of a text file, without their line breaks; none for a missing file.
std::vector<std::string> ReadLines(const std::string& path);
