// The driver's journal: one line per call, appended to a text file and on
// disk before the call returns. Lines come from any thread; one lock keeps
// them whole and in order.
#pragma once

#include <mutex>
#include <string>

class Journal {
public:
    void SetPath(const std::string& path);
    std::string Path() const;

    // Appends line and a line break. The file is opened for each line, so
    // that it can be read, moved or deleted between calls.
    void Append(const std::string& line);

private:
    mutable std::mutex mutex_;
    std::string path_;
};
