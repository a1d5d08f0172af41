#include "journal.h"

#include <cstdio>
#include <memory>

void Journal::SetPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    path_ = path;
}

std::string Journal::Path() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return path_;
}

void Journal::Append(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path_.empty()) {
        return;
    }
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path_.c_str(), "ab"), &std::fclose);
    if (!file) {
        return;  // a journal that cannot be written must not change the driver's answers
    }
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), file.get());
}
