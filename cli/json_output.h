// The one JSON object a command prints with --json, on one line. Keys keep
// the order they are set in; every text is the system's ANSI text, turned
// into UTF-8 here, and the object is printed with everything outside ASCII
// escaped, so that any console code page reads it unchanged.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace vcli {

// text, in the ANSI code page, as UTF-8. Every byte counts: a byte the code
// page has no character for becomes its default character, never nothing.
std::string AnsiToUtf8(const std::string& text);

class JsonOutput {
public:
    JsonOutput& Str(const char* key, const std::string& ansi_text);
    JsonOutput& Int(const char* key, long long value);
    JsonOutput& Bool(const char* key, bool value);
    JsonOutput& Null(const char* key);
    JsonOutput& Set(const char* key, nlohmann::ordered_json value);

    const nlohmann::ordered_json& Object() const { return object_; }
    std::string Text() const;
    // The object and a line break on standard output.
    void Print() const;

private:
    nlohmann::ordered_json object_ = nlohmann::ordered_json::object();
};

}  // namespace vcli
