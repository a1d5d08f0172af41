#include "board_config.h"

#include "content_file.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Values longer than this are refused rather than cut.
constexpr DWORD kValueBuffer = 2048;

std::string Trim(const char* text) {
    std::string value(text);
    const size_t first = value.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = value.find_last_not_of(" \t");
    return value.substr(first, last - first + 1);
}

// A decimal number, or a hexadecimal one after 0x, optionally signed; the
// whole value must be the number.
bool ParseNumber(const char* text, long long& number) {
    const std::string value = Trim(text);
    size_t at = 0;
    bool negative = false;
    if (at < value.size() && (value[at] == '-' || value[at] == '+')) {
        negative = value[at] == '-';
        ++at;
    }
    int base = 10;
    if (value.size() - at > 2 && value[at] == '0' && (value[at + 1] == 'x' || value[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at == value.size()) {
        return false;
    }
    unsigned long long magnitude = 0;
    for (; at < value.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(value[at]);
        unsigned digit;
        if (std::isdigit(c)) {
            digit = c - '0';
        } else if (base == 16 && std::isxdigit(c)) {
            digit = static_cast<unsigned>(std::tolower(c) - 'a' + 10);
        } else {
            return false;
        }
        magnitude = magnitude * base + digit;
        if (magnitude > 0xFFFFFFFFull) {  // no value of a board needs more
            return false;
        }
    }
    number = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return true;
}

bool ReadRange(const char* text, long long low, long long high, long long& number, std::string& problem) {
    if (!ParseNumber(text, number)) {
        problem = "not a number";
        return false;
    }
    if (number < low || number > high) {
        problem = "must be from " + std::to_string(low) + " to " + std::to_string(high);
        return false;
    }
    return true;
}

bool ReadUnsigned(const char* text, uint32_t low, uint32_t high, uint32_t& out, std::string& problem) {
    long long number = 0;
    if (!ReadRange(text, low, high, number, problem)) {
        return false;
    }
    out = static_cast<uint32_t>(number);
    return true;
}

bool ReadInt(const char* text, int32_t& out, std::string& problem) {
    long long number = 0;
    if (!ReadRange(text, INT32_MIN, INT32_MAX, number, problem)) {
        return false;
    }
    out = static_cast<int32_t>(number);
    return true;
}

bool ReadFlag(const char* text, bool& out, std::string& problem) {
    long long number = 0;
    if (!ReadRange(text, 0, 1, number, problem)) {
        return false;
    }
    out = number == 1;
    return true;
}

// One of the given words (compared without case); 0 and 1 among them.
template <class Value, size_t N>
bool ReadChoice(const char* text, const std::pair<const char*, Value> (&choices)[N], const char* allowed, Value& out,
                std::string& problem) {
    const std::string value = Trim(text);
    for (const auto& choice : choices) {
        if (_stricmp(choice.first, value.c_str()) == 0) {
            out = choice.second;
            return true;
        }
    }
    problem = std::string("must be ") + allowed;
    return false;
}

constexpr std::pair<const char*, SizeAdaptation> kSizeAdaptations[] = {
    {"0", SizeAdaptation::kOff},     {"1", SizeAdaptation::kTop},      {"top", SizeAdaptation::kTop},
    {"upper", SizeAdaptation::kUpper}, {"whole", SizeAdaptation::kWhole},
};

constexpr std::pair<const char*, ShortRead> kShortReads[] = {
    {"0", ShortRead::kOff}, {"count", ShortRead::kCount}, {"zeros", ShortRead::kZeros}};

bool ReadText(const char* text, size_t maxLength, std::string& out, std::string& problem) {
    const size_t length = std::strlen(text);
    if (length > maxLength) {
        problem = std::to_string(length) + " characters, at most " + std::to_string(maxLength) + " fit";
        return false;
    }
    out = text;
    return true;
}

// Exactly N bytes as 2N hexadecimal digits; blanks between them are allowed.
template <size_t N>
bool ReadHexBytes(const char* text, std::array<uint8_t, N>& out, std::string& problem) {
    std::string digits;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == ' ' || *c == '\t') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(*c))) {
            problem = "not hexadecimal";
            return false;
        }
        digits += *c;
    }
    if (digits.size() != 2 * N) {
        problem = "must be " + std::to_string(N) + " bytes (" + std::to_string(2 * N) + " hex digits)";
        return false;
    }
    for (size_t i = 0; i < N; ++i) {
        out[i] = static_cast<uint8_t>(std::stoul(digits.substr(2 * i, 2), nullptr, 16));
    }
    return true;
}

bool IsAbsolutePath(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// Full path of a file named in the board file: relative names count from the
// driver's directory.
bool ReadPath(const char* text, const std::string& moduleDir, std::string& out, std::string& problem) {
    const std::string value = Trim(text);
    if (value.empty()) {
        problem = "a file name is needed";
        return false;
    }
    const std::string joined = IsAbsolutePath(value) ? value : moduleDir + value;
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(joined.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        problem = "not a usable path (at most " + std::to_string(MAX_PATH - 1) + " characters)";
        return false;
    }
    out = full;
    return true;
}

// One key of the board file: where it lives and how its value changes the
// board. apply returns false with the reason in problem.
struct KeyRule {
    const char* section;
    const char* key;
    bool (*apply)(const char* value, const std::string& moduleDir, BoardConfig& board, std::string& problem);
};

// The [Journal] section comes first so that the journal of a bad board file
// is already known when a later key is refused.
constexpr const char* kSections[] = {"Journal", "Flash", "Bios", "Board", "Timing", "Fail"};

constexpr KeyRule kKeyRules[] = {
    {"Journal", "Path",
     [](const char* v, const std::string& dir, BoardConfig& b, std::string& p) { return ReadPath(v, dir, b.journalPath, p); }},
    {"Flash", "FlashSize",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadUnsigned(v, 1, kMaxFlashSize, b.flashSize, p); }},
    {"Flash", "FlashType",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) {
         return ReadText(v, sizeof(FLASH_INFO::FlashType) - 1, b.flashType, p);
     }},
    {"Flash", "FlashInfoBytes0_1",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadHexBytes(v, b.flashInfoBytes0, p); }},
    {"Flash", "FlashInfoBytes6_17",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadHexBytes(v, b.flashInfoBytes6, p); }},
    {"Flash", "Content",
     [](const char* v, const std::string& dir, BoardConfig& b, std::string& p) { return ReadPath(v, dir, b.mainContent, p); }},
    {"Flash", "BackupContent",
     [](const char* v, const std::string& dir, BoardConfig& b, std::string& p) { return ReadPath(v, dir, b.backupContent, p); }},
    {"Flash", "DmiOffset",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadUnsigned(v, 0, kMaxFlashSize, b.dmiOffset, p); }},
    {"Flash", "DmiLength",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadUnsigned(v, 0, kMaxFlashSize, b.dmiLength, p); }},
    {"Flash", "SizeAdaptedWrites",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) {
         return ReadChoice(v, kSizeAdaptations, "0, top (or 1), upper or whole", b.sizeAdaptedWrites, p);
     }},
    {"Flash", "ShortReads",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) {
         return ReadChoice(v, kShortReads, "0, count or zeros", b.shortReads, p);
     }},
    {"Flash", "CorruptWrites",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadFlag(v, b.corruptWrites, p); }},
    {"Bios", "BiosType",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadInt(v, b.biosType, p); }},
    {"Bios", "BiosPartNumber",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) {
         return ReadText(v, sizeof(BIOS_INFO::BiosPartNumber) - 1, b.biosPartNumber, p);
     }},
    {"Bios", "SignOnMessage",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) {
         return ReadText(v, sizeof(BIOS_INFO::SignOnMessage) - 1, b.signOnMessage, p);
     }},
    {"Board", "DualBios",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadFlag(v, b.dualBios, p); }},
    {"Board", "UtilityActive",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadInt(v, b.utilityActive, p); }},
    {"Board", "UtilityPermission",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) {
         uint32_t permission = 0;
         if (!ReadUnsigned(v, 0, 255, permission, p)) {
             return false;
         }
         b.utilityPermission = static_cast<uint8_t>(permission);
         return true;
     }},
    {"Board", "EnlPresent",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadFlag(v, b.enlPresent, p); }},
    {"Board", "EnlActive",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadFlag(v, b.enlActive, p); }},
    {"Board", "LoadCmosDefault",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadInt(v, b.loadCmosDefault, p); }},
    {"Board", "EpCheckOemid",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadInt(v, b.epCheckOemid, p); }},
    {"Timing", "PhaseMillis",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadUnsigned(v, 0, 600000, b.phaseMillis, p); }},
    {"Timing", "HoldLimitMillis",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) {
         return ReadUnsigned(v, 1, 600000, b.holdLimitMillis, p);
     }},
    {"Fail", "AtStatus",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadUnsigned(v, 0, 255, b.failAtStatus, p); }},
    {"Fail", "AtPercent",
     [](const char* v, const std::string&, BoardConfig& b, std::string& p) { return ReadUnsigned(v, 0, 100, b.failAtPercent, p); }},
};

// Every key present in a section of the file, in file order.
std::vector<std::string> KeysOf(const char* section, const std::string& iniPath) {
    std::vector<char> names(64 * 1024);
    const DWORD length = GetPrivateProfileStringA(section, nullptr, "", names.data(),
                                                  static_cast<DWORD>(names.size()), iniPath.c_str());
    std::vector<std::string> keys;
    for (DWORD at = 0; at < length && names[at] != '\0'; at += static_cast<DWORD>(std::strlen(&names[at])) + 1) {
        keys.emplace_back(&names[at]);
    }
    return keys;
}

std::vector<std::string> SectionsOf(const std::string& iniPath) {
    std::vector<char> names(64 * 1024);
    const DWORD length = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), iniPath.c_str());
    std::vector<std::string> sections;
    for (DWORD at = 0; at < length && names[at] != '\0'; at += static_cast<DWORD>(std::strlen(&names[at])) + 1) {
        sections.emplace_back(&names[at]);
    }
    return sections;
}

bool IsKnownSection(const std::string& name) {
    for (const char* section : kSections) {
        if (_stricmp(section, name.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

// Applies one key; returns the problem, empty when the value was taken.
std::string ApplyKey(const char* section, const std::string& key, const std::string& iniPath,
                     const std::string& moduleDir, BoardConfig& board) {
    const std::string where = std::string("[") + section + "] " + key;
    char value[kValueBuffer];
    const DWORD length = GetPrivateProfileStringA(section, key.c_str(), "", value, kValueBuffer, iniPath.c_str());
    if (length >= kValueBuffer - 1) {
        return where + ": value too long";
    }
    std::string problem;
    if (_stricmp(section, "Fail") == 0) {
        for (size_t i = 0; i < kDriverFunctionCount; ++i) {
            if (_stricmp(kDriverFunctionNames[i], key.c_str()) == 0) {
                if (ReadFlag(value, board.fail[i], problem)) {
                    return std::string();
                }
                return where + " \"" + value + "\": " + problem;
            }
        }
        // Otherwise one of the rules below (the failing progress figures).
    }
    for (const KeyRule& rule : kKeyRules) {
        if (_stricmp(rule.section, section) == 0 && _stricmp(rule.key, key.c_str()) == 0) {
            if (rule.apply(value, moduleDir, board, problem)) {
                return std::string();
            }
            return where + " \"" + value + "\": " + problem;
        }
    }
    return where + (_stricmp(section, "Fail") == 0 ? ": no driver function of that name" : ": unknown key");
}

// The backup part lies beside the main part unless the board file says
// otherwise: flash.bin gives flash_backup.bin.
std::string BackupBeside(const std::string& mainContent) {
    const size_t nameStart = mainContent.find_last_of("\\/") + 1;
    const size_t dot = mainContent.find_last_of('.');
    const size_t cut = dot != std::string::npos && dot > nameStart ? dot : mainContent.size();
    return mainContent.substr(0, cut) + "_backup" + mainContent.substr(cut);
}

// Checks that need several keys at once.
std::string CheckBoard(const BoardConfig& board) {
    if (static_cast<uint64_t>(board.dmiOffset) + board.dmiLength > board.flashSize) {
        return "[Flash] DmiOffset " + std::to_string(board.dmiOffset) + " and DmiLength " +
               std::to_string(board.dmiLength) + " reach beyond the " + std::to_string(board.flashSize) +
               "-byte flash part";
    }
    if (board.enlActive && !board.enlPresent) {
        return "[Board] EnlActive 1 needs EnlPresent 1";
    }
    if (board.dualBios && _stricmp(board.mainContent.c_str(), board.backupContent.c_str()) == 0) {
        return "[Flash] Content and BackupContent name the same file";
    }
    return std::string();
}

}  // namespace

void BoardConfig::FillFlashInfo(FLASH_INFO* record) const {
    FLASH_INFO info{};
    std::memcpy(info.Unread0, flashInfoBytes0.data(), sizeof(info.Unread0));
    info.FlashSize = flashSize;
    std::memcpy(info.Unread1, flashInfoBytes6.data(), sizeof(info.Unread1));
    std::memcpy(info.FlashType, flashType.c_str(), flashType.size() + 1);
    std::memcpy(record, &info, sizeof(info));
}

void BoardConfig::FillBiosInfo(BIOS_INFO* record) const {
    BIOS_INFO info{};
    info.BiosType = biosType;
    std::memcpy(info.BiosPartNumber, biosPartNumber.c_str(), biosPartNumber.size() + 1);
    std::memcpy(info.SignOnMessage, signOnMessage.c_str(), signOnMessage.size() + 1);
    std::memcpy(record, &info, sizeof(info));
}

BoardLoad LoadBoardConfig(const std::string& iniPath, const std::string& moduleDir, bool mustExist) {
    BoardLoad load;
    BoardConfig& board = load.board;
    board.iniPath = iniPath;
    board.mainContent = moduleDir + "flashsim.bin";
    board.journalPath = moduleDir + "flashsim.log";

    const auto fail = [&](const std::string& problem) {
        load.error = iniPath + ": " + problem;
        return load;
    };

    const DWORD attributes = GetFileAttributesA(iniPath.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (!exists && mustExist) {
        return fail("no such board file");
    }
    if (!exists) {
        board.backupContent = BackupBeside(board.mainContent);
    } else {
        // Drop any copy the system keeps of an earlier version of the file:
        // a board file rewritten within the file system's time resolution
        // would otherwise be read as it was.
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, iniPath.c_str());
        for (const std::string& section : SectionsOf(iniPath)) {
            if (!IsKnownSection(section)) {
                return fail("[" + section + "]: unknown section");
            }
        }
        for (const char* section : kSections) {
            for (const std::string& key : KeysOf(section, iniPath)) {
                const std::string problem = ApplyKey(section, key, iniPath, moduleDir, board);
                if (!problem.empty()) {
                    return fail(problem);
                }
            }
        }
        if (board.backupContent.empty()) {
            board.backupContent = BackupBeside(board.mainContent);
        }
        const std::string problem = CheckBoard(board);
        if (!problem.empty()) {
            return fail(problem);
        }
    }

    // Content files come into being with the board, so that a path that
    // cannot be written shows up here and not in the middle of an update.
    std::string problem;
    {
        ContentFile main;
        if (!main.Open(board.mainContent, board.flashSize, problem)) {
            return fail(problem);
        }
    }
    if (board.dualBios) {
        ContentFile backup;
        if (!backup.Open(board.backupContent, board.flashSize, problem)) {
            return fail(problem);
        }
    }
    return load;
}
