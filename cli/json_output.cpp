#include "json_output.h"

#include <windows.h>

#include <cstdio>
#include <utility>
#include <vector>

namespace vcli {

std::string AnsiToUtf8(const std::string& text) {
    bool ascii = true;
    for (const unsigned char c : text) ascii = ascii && c < 0x80;
    if (ascii || text.empty()) return text;
    const int length = static_cast<int>(text.size());
    const int wide_length = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (wide_length <= 0) return text;
    std::vector<wchar_t> wide(wide_length);
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), wide_length);
    const int utf8_length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    if (utf8_length <= 0) return text;
    std::string utf8(utf8_length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, &utf8[0], utf8_length, nullptr, nullptr);
    return utf8;
}

JsonOutput& JsonOutput::Str(const char* key, const std::string& ansi_text) {
    object_[key] = AnsiToUtf8(ansi_text);
    return *this;
}

JsonOutput& JsonOutput::Int(const char* key, long long value) {
    object_[key] = value;
    return *this;
}

JsonOutput& JsonOutput::Bool(const char* key, bool value) {
    object_[key] = value;
    return *this;
}

JsonOutput& JsonOutput::Null(const char* key) {
    object_[key] = nullptr;
    return *this;
}

JsonOutput& JsonOutput::Set(const char* key, nlohmann::ordered_json value) {
    object_[key] = std::move(value);
    return *this;
}

std::string JsonOutput::Text() const {
    // Should a text still hold bytes that are not UTF-8 (a code page
    // conversion that failed), they show as U+FFFD rather than stop the output.
    return object_.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
}

void JsonOutput::Print() const { printf("%s\n", Text().c_str()); }

}  // namespace vcli
