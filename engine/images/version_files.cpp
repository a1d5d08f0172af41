#include "version_files.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine_state.h"
#include "records.h"

namespace {

// INI values are read into a 255-byte buffer, so a value holds at most 254
// characters.
constexpr DWORD kIniValueBufferSize = 255;

std::string ModuleFile(const char* name) { return std::string(Engine.ModuleDir) + name; }

}  // namespace

std::string ReadIniValue(const char* file, const char* section, const char* key) {
    char value[kIniValueBufferSize] = {};
    GetPrivateProfileStringA(section, key, "", value, kIniValueBufferSize, file);
    return value;
}

double LeadingDecimal(const char* text) {
    // Only a plain decimal number counts: optional blanks and sign, digits,
    // a fraction and an exponent. No hexadecimal, infinity or NaN forms.
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    const char* digits = p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    if (*p == '.') {
        ++p;
        while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    }
    if (p == digits || (p == digits + 1 && *digits == '.')) return 0.0;
    if (*p == 'e' || *p == 'E') {
        const char* exponent = p + 1;
        if (*exponent == '+' || *exponent == '-') ++exponent;
        if (std::isdigit(static_cast<unsigned char>(*exponent))) {
            p = exponent;
            while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
        }
    }
    std::string number(start, p);
    return std::strtod(number.c_str(), nullptr);
}

std::string BoardPartNumberText(const char* recordField) {
    return std::string(recordField, strnlen(recordField, kPartNumberLength));
}

int CheckProgramVersion(const char* boardPartNumber, double programVersion) {
    const std::string file = ModuleFile("verinfo.ini");
    for (unsigned n = 0;; ++n) {
        char key[16];
        std::snprintf(key, sizeof key, "%u", n);
        const std::string part_number = ReadIniValue(file.c_str(), "PartNumber", key);
        if (part_number.empty()) return 1;
        if (part_number != boardPartNumber) continue;
        const std::string required = ReadIniValue(file.c_str(), "Version", key);
        // An entry without a version does not decide; a later one may.
        if (required.empty()) continue;
        return programVersion < LeadingDecimal(required.c_str()) ? 0 : 1;
    }
}

int CheckSeriesNumber(const char* boardPartNumber, const char* imagePartNumber) {
    const std::string file = ModuleFile("PN.INI");
    char value[kIniValueBufferSize] = {};
    GetPrivateProfileStringA(boardPartNumber, "PN", "", value, kIniValueBufferSize, file.c_str());
    if (value[0] == '\0') return 0;
    return std::memcmp(value, imagePartNumber, kPartNumberLength) == 0 ? 1 : 0;
}
