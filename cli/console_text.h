// Small text helpers every command uses: printf-style formatting, message
// box texts on one line, fixed-size record fields, the error line.
#pragma once

#include <cstddef>
#include <string>

namespace vcli {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A message box text on one line: line breaks become blanks, runs of blanks one.
std::string OneLine(const char* text);

// A text field of a record, up to its first NUL or its end.
std::string Field(const char* text, size_t size);

// "vossel: message" on standard error.
void Fail(const std::string& message);

// path made absolute; path itself when the system cannot.
std::string FullPath(const std::string& path);

bool FileExists(const std::string& path);

// Asks question on standard output (standard error when to_stderr) and
// reads one line; true only for an answer starting with y or Y.
bool Confirm(const std::string& question, bool to_stderr);

}  // namespace vcli
