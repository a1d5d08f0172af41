// vossel.exe: the engine's operations from a console. Everything goes through
// the exports of Vossel.dll (and, for the power saver's state, flash.dll),
// both loaded from this program's own folder. No engine call that shows a
// window is made: images are checked with CheckBiosImage before FlashBIOS(2)
// is asked to write them, and Check_ENL is never called.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine_api.h"
#include "records.h"

namespace vcli {
namespace {

// Exit codes, listed in README.md.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitNoEngine = 2,
    kExitRefused = 3,
    kExitBackupFailed = 4,
    kExitWriteFailed = 5,
    kExitVerifyFailed = 6,
    kExitSaveFailed = 7,
    kExitNoUpdate = 8,
};

// ---------------------------------------------------------------- output

std::string Format(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// A message box text on one line: line breaks become blanks, runs of blanks one.
std::string OneLine(const char* text) {
    std::string line;
    for (const char* c = text; *c != '\0'; ++c) {
        const char ch = (*c == '\r' || *c == '\n' || *c == '\t') ? ' ' : *c;
        if (ch == ' ' && (line.empty() || line.back() == ' ')) continue;
        line += ch;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

void Fail(const std::string& message) { fprintf(stderr, "vossel: %s\n", message.c_str()); }

// One JSON object, built member by member.
class Json {
public:
    Json& Str(const char* key, const std::string& value) { return Raw(key, Quote(value)); }
    Json& Int(const char* key, long long value) { return Raw(key, std::to_string(value)); }
    Json& Bool(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }
    Json& Null(const char* key) { return Raw(key, "null"); }
    Json& Raw(const char* key, const std::string& value) {
        text_ += text_.empty() ? "{" : ",";
        text_ += Quote(key) + ":" + value;
        return *this;
    }
    std::string Text() const { return text_.empty() ? "{}" : text_ + "}"; }
    void Print() const { printf("%s\n", Text().c_str()); }

    static std::string Quote(const std::string& value) {
        std::string out = "\"";
        for (const unsigned char c : value) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    // The engine's texts are in the ANSI code page; bytes
                    // outside ASCII are passed on as Latin-1 code points.
                    out += Format("\\u%04x", c);
                } else {
                    out += static_cast<char>(c);
                }
            }
        }
        return out + "\"";
    }

private:
    std::string text_;
};

// ---------------------------------------------------------------- the engine

std::string ProgramDir() {
    char path[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, length);
    const size_t slash = dir.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string SystemMessage(DWORD error) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text != nullptr ? OneLine(text) : Format("error %lu", static_cast<unsigned long>(error));
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && message.back() == '.') message.pop_back();
    return message;
}

template <typename Function>
Function Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct Engine {
    HMODULE module = nullptr;
    HMODULE driver = nullptr;
    GetRecordFn Get_Flash_Info = nullptr;
    GetRecordFn Get_Bios_Info = nullptr;
    IntFn IsDualBiosSupported = nullptr;
    ProgressFn Get_Progress_Status = nullptr;
    HubrixProgressFn GetProgressStatusForHubrix = nullptr;
    SaveBiosQuietFn SaveBiosQuiet = nullptr;
    FlashBiosFn FlashBIOS = nullptr;
    UpdateCheckFn BiosUpdateCheck = nullptr;
    CheckAuthenticatedFn BiosUpdateCheckAuthenticated = nullptr;
    IntFn UpdateBiosByUpdateManager = nullptr;
    ByteFn DownloadStatusForUpdateManager = nullptr;
    CheckImageFn CheckBiosImage = nullptr;
    VerifyImageFn VerifyBiosImage = nullptr;
    SupportEnlFn W_Support_ENL = nullptr;

    // Loads Vossel.dll and flash.dll from this program's folder and binds
    // every export; false, with the reason said, when one is missing.
    bool Load() {
        const std::string dir = ProgramDir();
        const std::string engine_path = dir + "Vossel.dll";
        const std::string driver_path = dir + "flash.dll";
        // The engine tells a missing driver in a message box: look first.
        if (!FileExists(engine_path)) {
            Fail(engine_path + ": cannot load the engine: file not found");
            return false;
        }
        if (!FileExists(driver_path)) {
            Fail(driver_path + ": cannot load the flash driver: file not found");
            return false;
        }
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        module = LoadLibraryA(engine_path.c_str());
        if (module == nullptr) {
            Fail(engine_path + ": cannot load the engine: " + SystemMessage(GetLastError()));
            return false;
        }
        driver = LoadLibraryA(driver_path.c_str());
        if (driver == nullptr) {
            Fail(driver_path + ": cannot load the flash driver: " + SystemMessage(GetLastError()));
            return false;
        }
        bool ok = true;
        auto bind = [&](auto& slot, HMODULE from, const std::string& from_path, const char* name) {
            slot = Bind<std::remove_reference_t<decltype(slot)>>(from, name);
            if (slot == nullptr) {
                Fail(from_path + ": does not export " + name);
                ok = false;
            }
        };
        bind(Get_Flash_Info, module, engine_path, "Get_Flash_Info");
        bind(Get_Bios_Info, module, engine_path, "Get_Bios_Info");
        bind(IsDualBiosSupported, module, engine_path, "IsDualBiosSupported");
        bind(Get_Progress_Status, module, engine_path, "Get_Progress_Status");
        bind(GetProgressStatusForHubrix, module, engine_path, "GetProgressStatusForHubrix");
        bind(SaveBiosQuiet, module, engine_path, "SaveBiosQuiet");
        bind(FlashBIOS, module, engine_path, "FlashBIOS");
        bind(BiosUpdateCheck, module, engine_path, "BiosUpdateCheck");
        bind(BiosUpdateCheckAuthenticated, module, engine_path, "BiosUpdateCheckAuthenticated");
        bind(UpdateBiosByUpdateManager, module, engine_path, "UpdateBiosByUpdateManager");
        bind(DownloadStatusForUpdateManager, module, engine_path, "DownloadStatusForUpdateManager");
        bind(CheckBiosImage, module, engine_path, "CheckBiosImage");
        bind(VerifyBiosImage, module, engine_path, "VerifyBiosImage");
        bind(W_Support_ENL, driver, driver_path, "W_Support_ENL");
        return ok;
    }
};

// ---------------------------------------------------------------- progress

const char* StatusName(int status) {
    switch (status) {
    case kStatusSaving: return "saving";
    case kStatusReading: return "reading";
    case kStatusWriting: return "writing";
    case kStatusErasing: return "erasing";
    case kStatusDownloading: return "downloading";
    case kStatusVerifying: return "verifying";
    default: return "";
    }
}

// A bar on standard error, one line per phase: the line of a phase that
// ended stays, with the last figure it reached.
class ProgressBar {
public:
    void Show(const char* phase, int percent) {
        if (phase == nullptr || *phase == '\0') return;
        if (percent < 0) percent = 0;
        if (percent > 100) percent = 100;
        if (phase_ != phase) {
            if (!phase_.empty()) fputc('\n', stderr);
            phase_ = phase;
            percent_ = -1;
        }
        if (percent == percent_) return;
        percent_ = percent;
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        fprintf(stderr, "\r%-12s [%s%s] %3d%%", phase, std::string(filled, '#').c_str(),
                std::string(kWidth - filled, '.').c_str(), percent);
        fflush(stderr);
    }
    void End() {
        if (!phase_.empty()) fputc('\n', stderr);
        phase_.clear();
        fflush(stderr);
    }

private:
    std::string phase_;
    int percent_ = -1;
};

struct WorkerJob {
    std::function<int()> call;
    int result = 0;
};

DWORD WINAPI WorkerMain(void* param) {
    WorkerJob* job = static_cast<WorkerJob*>(param);
    job->result = job->call();
    return 0;
}

// Runs call on a worker thread; the main thread samples progress every
// 50 ms and shows it until the call returns.
int RunWithProgress(std::function<int()> call, const std::function<void(ProgressBar&)>& sample) {
    WorkerJob job;
    job.call = std::move(call);
    HANDLE thread = CreateThread(nullptr, 0, WorkerMain, &job, 0, nullptr);
    if (thread == nullptr) return job.call();
    ProgressBar bar;
    while (WaitForSingleObject(thread, 50) == WAIT_TIMEOUT) sample(bar);
    CloseHandle(thread);
    sample(bar);
    bar.End();
    return job.result;
}

void SampleEngineProgress(const Engine& engine, ProgressBar& bar) {
    int status = 0, percent = 0, busy = 0;
    engine.Get_Progress_Status(&status, &percent, &busy);
    if (busy) bar.Show(StatusName(status), percent);
}

// ---------------------------------------------------------------- checks

struct CheckRow {
    CheckId id;
    const char* name;
};

// The checks in the order the engine makes them, per board family.
const CheckRow kAwardChecks[] = {
    {kCheckPath, "path"},   {kCheckSize, "size"},     {kCheckFamily, "family"},
    {kCheckPartNumber, "part number"}, {kCheckSeries, "series"},
};
const CheckRow kUefiChecks[] = {
    {kCheckPath, "path"},
    {kCheckSize, "size"},
    {kCheckFamily, "family"},
    {kCheckPartNumber, "part number"},
    {kCheckSeries, "series"},  // Award images only; passes for UEFI images
    {kCheckProgramVersion, "program version"},
    {kCheckDriverPermission, "driver permission"},
    {kCheckProtectionDate, "protection date"},
};

const char* PlanName(int plan) {
    switch (plan) {
    case 0: return "none";
    case 1: return "W_Flash_Write";
    case 2: return "W_Flash_Write_Ex (UEFI image on an Award board)";
    case 3: return "W_Flash_Write_DualBios";
    case 4: return "W_Flash_Write_Ex on both parts (Award image on a UEFI board)";
    case 5: return "no write call (the driver's permission asks for none)";
    default: return "unknown";
    }
}

const char* FamilyName(int32_t bios_type) {
    switch (bios_type) {
    case kBiosTypeAward: return "Award";
    case kBiosTypeAmi: return "AMI";
    case kBiosTypeAmiUefi: return "AMI UEFI";
    default: return "Unknown";
    }
}

struct CheckVerdict {
    std::string name;
    std::string verdict;  // "pass", "FAIL: ...", "not reached"
};

std::vector<CheckVerdict> Verdicts(const Engine& engine, const ImageCheck& check) {
    BIOS_INFO bios = {};
    engine.Get_Bios_Info(&bios, kBiosInfoSize);
    const bool uefi = bios.BiosType == kBiosTypeAmiUefi;
    const CheckRow* const first = uefi ? std::begin(kUefiChecks) : std::begin(kAwardChecks);
    const CheckRow* const last = uefi ? std::end(kUefiChecks) : std::end(kAwardChecks);
    const std::string failure = "FAIL: " + (check.message[0] != '\0' ? OneLine(check.message) : std::string("refused"));
    std::vector<CheckVerdict> verdicts;
    if (check.failedCheck == kCheckBusy) {
        verdicts.push_back({"engine free", failure});
        for (const CheckRow* row = first; row != last; ++row) verdicts.push_back({row->name, "not reached"});
        return verdicts;
    }
    bool reached = true;
    for (const CheckRow* row = first; row != last; ++row) {
        if (!reached) {
            verdicts.push_back({row->name, "not reached"});
        } else if (row->id == check.failedCheck) {
            verdicts.push_back({row->name, failure});
            reached = false;
        } else {
            verdicts.push_back({row->name, "pass"});
        }
    }
    return verdicts;
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH * 4] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? std::string(full, length) : path;
}

struct CheckOutcome {
    ImageCheck record = {};
    std::vector<CheckVerdict> verdicts;
    bool writable = false;
};

CheckOutcome RunCheck(const Engine& engine, const std::string& image) {
    CheckOutcome outcome;
    outcome.record.size = sizeof(ImageCheck);
    outcome.writable = engine.CheckBiosImage(image.c_str(), &outcome.record) == 1;
    outcome.verdicts = Verdicts(engine, outcome.record);
    return outcome;
}

// The one-line reason an image is not written, on standard error.
void TellRefusal(const std::string& image, const CheckOutcome& outcome) {
    if (!FileExists(image)) {
        Fail(image + ": cannot read the image: file not found");
    } else if (outcome.record.message[0] != '\0') {
        Fail(image + ": refused: " + OneLine(outcome.record.message));
    } else {
        Fail(image + ": refused by the engine's checks");
    }
}

void PrintCheck(const std::string& image, const CheckOutcome& outcome) {
    printf("image: %s\n", image.c_str());
    for (const CheckVerdict& verdict : outcome.verdicts) {
        printf("  %s: %s\n", verdict.name.c_str(), verdict.verdict.c_str());
    }
    if (outcome.writable) {
        printf("plan: %s, %u bytes, board mode %d\n", PlanName(outcome.record.plan),
               static_cast<unsigned>(outcome.record.writeLength), static_cast<int>(outcome.record.boardMode));
    }
    printf("writable: %s\n", outcome.writable ? "yes" : "no");
}

void AddCheckJson(Json& json, const CheckOutcome& outcome) {
    std::string checks = "[";
    for (const CheckVerdict& verdict : outcome.verdicts) {
        if (checks.size() > 1) checks += ",";
        checks += Json().Str("check", verdict.name).Str("verdict", verdict.verdict).Text();
    }
    checks += "]";
    json.Bool("writable", outcome.writable)
        .Int("failedCheck", outcome.record.failedCheck)
        .Raw("checks", checks)
        .Int("plan", outcome.record.plan)
        .Str("planText", PlanName(outcome.record.plan))
        .Int("boardMode", outcome.record.boardMode)
        .Int("writeLength", outcome.record.writeLength)
        .Str("message", OneLine(outcome.record.message))
        .Str("caption", OneLine(outcome.record.caption));
}

// ---------------------------------------------------------------- commands

struct Options {
    std::vector<std::string> positional;
    bool json = false;
    bool yes = false;
    bool no_backup = false;
    int keep_dmi = 1;
    bool help = false;
    bool require_signed = false;
};

const char* const kMainHelp =
    "usage: vossel COMMAND [ARGUMENTS]\n"
    "\n"
    "commands:\n"
    "  info [--json]                 the flash part, the BIOS and the board\n"
    "  save FILE                     save the flash part's content to FILE\n"
    "  check IMAGE [--json]          run the engine's checks on IMAGE, write nothing\n"
    "  flash IMAGE [--yes] [--no-backup] [--keep-dmi|--clear-dmi] [--json]\n"
    "                                check, back up, write and verify IMAGE\n"
    "  update-check [--json]         ask the built-in servers for a newer BIOS\n"
    "  update [--yes] [--require-signed] [--json]\n"
    "                                download that BIOS and write it\n"
    "\n"
    "vossel COMMAND --help tells more. Exit codes: 0 ok, 1 usage, 2 engine or driver\n"
    "not loadable, 3 image refused or missing, 4 backup failed, 5 write failed,\n"
    "6 verify failed, 7 save failed, 8 no update found or update failed.\n";

struct CommandHelp {
    const char* name;
    const char* text;
};

const CommandHelp kCommandHelp[] = {
    {"info",
     "usage: vossel info [--json]\n"
     "Shows the flash part (type, size), the BIOS (family, part number, sign-on),\n"
     "whether the board has a backup BIOS part and the power saver's state.\n"},
    {"save",
     "usage: vossel save FILE\n"
     "Saves the flash part's content to FILE. Exit 7 when it cannot be saved.\n"},
    {"check",
     "usage: vossel check IMAGE [--json]\n"
     "Runs every check the engine makes before writing IMAGE and prints each\n"
     "verdict and the write the driver would be asked for. Nothing is written.\n"
     "Exit 0 when the image would be written, 3 when it is refused.\n"},
    {"flash",
     "usage: vossel flash IMAGE [--yes] [--no-backup] [--keep-dmi|--clear-dmi] [--json]\n"
     "Checks IMAGE (exit 3 when refused), asks before writing unless --yes, saves\n"
     "the current content to backup-YYYYMMDD-HHMMSS.bin beside IMAGE unless\n"
     "--no-backup and proves it: the part's length, and equal to a second read\n"
     "of the part (exit 4, nothing written, when that fails), writes the image\n"
     "keeping the board's DMI data (--clear-dmi overwrites it; exit 5 when the\n"
     "write fails) and reads the part back (exit 6 when it differs). The machine\n"
     "is never restarted: restart it yourself to run the new BIOS.\n"},
    {"update-check",
     "usage: vossel update-check [--json]\n"
     "Asks the built-in update servers whether a newer BIOS exists for this\n"
     "board. Exit 0 when one is found, 8 when not. With --json, \"authenticated\"\n"
     "tells whether a built-in key verified the server's catalogue and \"digest\"\n"
     "the SHA-256 it gives for the image (null when none).\n"},
    {"update",
     "usage: vossel update [--yes] [--require-signed] [--json]\n"
     "Finds a newer BIOS on the built-in update servers, asks before writing\n"
     "unless --yes, downloads and writes it. The image must match the digest its\n"
     "catalogue gives. --require-signed refuses a catalogue that no built-in key\n"
     "authenticates. Exit 8 when none is found, the catalogue is refused or the\n"
     "update fails.\n"},
};

const char* HelpOf(const std::string& command) {
    for (const CommandHelp& help : kCommandHelp) {
        if (command == help.name) return help.text;
    }
    return nullptr;
}

int Usage(const std::string& command, const std::string& problem) {
    Fail(problem);
    const char* help = HelpOf(command);
    fputs(help != nullptr ? help : kMainHelp, stderr);
    return kExitUsage;
}

bool Confirm(const std::string& question, bool to_stderr) {
    FILE* out = to_stderr ? stderr : stdout;
    fprintf(out, "%s [y/N] ", question.c_str());
    fflush(out);
    char answer[64] = {};
    if (fgets(answer, sizeof answer, stdin) == nullptr) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

std::string SizeText(uint32_t bytes) {
    const unsigned long long bits = static_cast<unsigned long long>(bytes) * 8;
    if (bits >= (1ull << 20) && bits % (1ull << 20) == 0) return Format("%lluM bits", bits >> 20);
    if (bits >= (1ull << 10) && bits % (1ull << 10) == 0) return Format("%lluK bits", bits >> 10);
    return Format("%llu bits", bits);
}

std::string Field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

int CommandInfo(const Engine& engine, const Options& options) {
    FLASH_INFO flash = {};
    BIOS_INFO bios = {};
    engine.Get_Flash_Info(&flash, kFlashInfoSize);
    engine.Get_Bios_Info(&bios, kBiosInfoSize);
    const bool dual = engine.IsDualBiosSupported() != 0;
    unsigned char present = 0, active = 0;
    const bool saver_known = engine.W_Support_ENL(&present, &active) != 0;
    const std::string type = Field(flash.FlashType, sizeof flash.FlashType);
    const std::string part = Field(bios.BiosPartNumber, sizeof bios.BiosPartNumber);
    const std::string sign_on = Field(bios.SignOnMessage, sizeof bios.SignOnMessage);
    if (options.json) {
        Json json;
        json.Str("flashType", type)
            .Int("flashSize", flash.FlashSize)
            .Str("flashSizeText", SizeText(flash.FlashSize))
            .Str("biosFamily", FamilyName(bios.BiosType))
            .Int("biosType", bios.BiosType)
            .Str("partNumber", part)
            .Str("signOn", sign_on)
            .Bool("dualBios", dual);
        if (saver_known) {
            json.Bool("powerSaverPresent", present != 0).Bool("powerSaverActive", active != 0);
        } else {
            json.Null("powerSaverPresent").Null("powerSaverActive");
        }
        json.Print();
        return kExitOk;
    }
    printf("flash part:   %s\n", type.c_str());
    printf("flash size:   %u bytes (%s)\n", static_cast<unsigned>(flash.FlashSize), SizeText(flash.FlashSize).c_str());
    printf("BIOS family:  %s\n", FamilyName(bios.BiosType));
    printf("part number:  %s\n", part.c_str());
    printf("sign-on:      %s\n", sign_on.c_str());
    printf("dual BIOS:    %s\n", dual ? "yes" : "no");
    if (saver_known) {
        printf("power saver:  %s, %s\n", present ? "present" : "not present", active ? "active" : "not active");
    } else {
        printf("power saver:  unknown (the driver does not tell)\n");
    }
    return kExitOk;
}

const char* SaveFailure(uint8_t result) {
    switch (result) {
    case 1: return "not enough memory";
    case 2: return "the flash part could not be read (or another operation is running)";
    case 3: return "the file could not be written";
    default: return "unknown failure";
    }
}

// The engine's quiet save (SaveBiosEx without the writer's message) with a
// progress bar; 0 saved, else its result code.
uint8_t SaveWithProgress(const Engine& engine, const std::string& path) {
    return static_cast<uint8_t>(RunWithProgress([&]() -> int { return engine.SaveBiosQuiet(path.c_str()); },
                                                [&](ProgressBar& bar) { SampleEngineProgress(engine, bar); }));
}

int CommandSave(const Engine& engine, const Options& options) {
    const std::string path = options.positional[0];
    const uint8_t result = SaveWithProgress(engine, path);
    if (result != 0) {
        Fail(Format("cannot save to %s: %s", path.c_str(), SaveFailure(result)));
        return kExitSaveFailed;
    }
    printf("saved the flash part to %s\n", path.c_str());
    return kExitOk;
}

int CommandCheck(const Engine& engine, const Options& options) {
    const std::string image = options.positional[0];
    const CheckOutcome outcome = RunCheck(engine, image);
    if (options.json) {
        Json json;
        json.Str("image", image);
        AddCheckJson(json, outcome);
        json.Print();
    } else {
        PrintCheck(image, outcome);
    }
    if (!outcome.writable) {
        TellRefusal(image, outcome);
        return kExitRefused;
    }
    return kExitOk;
}

std::string BackupPath(const std::string& image) {
    const std::string full = FullPath(image);
    const size_t slash = full.find_last_of("\\/");
    const std::string dir = slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    return dir + Format("backup-%04u%02u%02u-%02u%02u%02u.bin", now.wYear, now.wMonth, now.wDay, now.wHour,
                        now.wMinute, now.wSecond);
}

// Why a saved backup cannot be trusted as the way back; empty when it is
// proved: the file holds exactly the part's length, and a second read of the
// part equals it. A driver that reports success for a short read would
// otherwise leave a short or zero-tailed file standing as the backup.
std::string UnprovedBackup(const Engine& engine, const std::string& backup) {
    FLASH_INFO flash = {};
    engine.Get_Flash_Info(&flash, kFlashInfoSize);
    if (flash.FlashSize == 0) return "the flash part's size is not known";
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA(backup.c_str(), GetFileExInfoStandard, &data)) return "the saved file cannot be found";
    const uint64_t length = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    if (length != flash.FlashSize) {
        return Format("the saved file holds %llu bytes, the flash part %u", static_cast<unsigned long long>(length),
                      static_cast<unsigned>(flash.FlashSize));
    }
    unsigned difference = 0;
    switch (engine.VerifyBiosImage(backup.c_str(), &difference)) {
    case 1: return std::string();
    case 0: return Format("a second read of the flash part differs from it at offset 0x%X", difference);
    default: return "it is no image of this board, or the flash part could not be read again to compare";
    }
}

int CommandFlash(const Engine& engine, const Options& options) {
    const std::string image = options.positional[0];
    Json json;
    json.Str("image", image);
    // Lines for people go to standard error with --json, so that standard
    // output holds the one object.
    FILE* out = options.json ? stderr : stdout;
    auto finish = [&](int code) {
        if (options.json) {
            json.Int("exitCode", code);
            json.Print();
        }
        return code;
    };

    const CheckOutcome outcome = RunCheck(engine, image);
    AddCheckJson(json, outcome);
    if (!outcome.writable) {
        if (!options.json) PrintCheck(image, outcome);
        TellRefusal(image, outcome);
        return finish(kExitRefused);
    }
    fprintf(out, "%s: every check passed; plan: %s\n", image.c_str(), PlanName(outcome.record.plan));

    if (!options.yes && !Confirm("Write " + image + " to the flash part?", options.json)) {
        Fail("nothing written: not confirmed");
        json.Bool("confirmed", false);
        return finish(kExitUsage);
    }

    if (!options.no_backup) {
        const std::string backup = BackupPath(image);
        const uint8_t saved = SaveWithProgress(engine, backup);
        if (saved != 0) {
            Fail(Format("cannot back up the flash part to %s: %s; nothing written", backup.c_str(),
                        SaveFailure(saved)));
            json.Null("backup");
            return finish(kExitBackupFailed);
        }
        const std::string unproved = UnprovedBackup(engine, backup);
        if (!unproved.empty()) {
            // A backup that is not the part must not be mistaken for one later.
            DeleteFileA(backup.c_str());
            Fail(Format("the backup of the flash part to %s is not sound: %s; it was removed and nothing written",
                        backup.c_str(), unproved.c_str()));
            json.Null("backup");
            return finish(kExitBackupFailed);
        }
        fprintf(out, "backup: %s\n", backup.c_str());
        json.Str("backup", backup);
    } else {
        json.Null("backup");
    }

    const int keep_dmi = options.keep_dmi;
    const int written =
        RunWithProgress([&]() -> int { return engine.FlashBIOS(2, image.c_str(), keep_dmi, 0, 0); },
                        [&](ProgressBar& bar) { SampleEngineProgress(engine, bar); });
    json.Bool("written", written == 1);
    if (written != 1) {
        Fail(image + ": the write failed");
        return finish(kExitWriteFailed);
    }
    fprintf(out, "written: %s\n", image.c_str());

    unsigned difference = 0;
    const int verified = engine.VerifyBiosImage(image.c_str(), &difference);
    if (verified == 1) {
        fprintf(out, "verified: the part holds the image\n");
        json.Bool("verified", true).Null("firstDifference");
    } else if (verified == 0) {
        fprintf(out, "VERIFY FAILED at offset 0x%X\n", difference);
        json.Bool("verified", false).Int("firstDifference", difference);
    } else {
        fprintf(out, "VERIFY FAILED: the part could not be compared with %s\n", image.c_str());
        json.Bool("verified", false).Null("firstDifference");
    }
    fprintf(out, "restart the computer to run the new BIOS\n");
    json.Bool("restartNeeded", true);
    return finish(verified == 1 ? kExitOk : kExitVerifyFailed);
}

// What the update check found: the update's text and what the engine says
// of the catalogue that offered it.
struct FoundUpdate {
    std::string text;
    bool authenticated = false;
    std::string digest;  // "" when the catalogue gives none
};

// The update text has no terminator: the buffer is zeroed and one byte
// longer than the engine is told.
bool FindUpdate(const Engine& engine, FoundUpdate* found) {
    char text[257] = {};
    if (engine.BiosUpdateCheck(text, sizeof text - 1) != 1) return false;
    found->text = Field(text, sizeof text - 1);
    char digest[65] = {};
    found->authenticated = engine.BiosUpdateCheckAuthenticated(digest, sizeof digest) == 1;
    found->digest = Field(digest, sizeof digest);
    return true;
}

void AddFoundJson(Json& json, bool any, const FoundUpdate& found) {
    json.Bool("found", any);
    if (any) json.Str("update", found.text); else json.Null("update");
    json.Bool("authenticated", any && found.authenticated);
    if (any && !found.digest.empty()) json.Str("digest", found.digest); else json.Null("digest");
}

int CommandUpdateCheck(const Engine& engine, const Options& options) {
    FoundUpdate update;
    const bool any = FindUpdate(engine, &update);
    const std::string& found = update.text;
    if (options.json) {
        Json json;
        AddFoundJson(json, any, update);
        json.Print();
    } else if (any) {
        printf("newer BIOS: %s\n", found.c_str());
    } else {
        printf("no newer BIOS found\n");
    }
    return any ? kExitOk : kExitNoUpdate;
}

const char* UpdateFailure(int result) {
    switch (result) {
    case 1: return "the program is too old for the image";
    case 9: return "refused by the board";
    case 11: return "wrong image (part number, or not the part's length)";
    case 13: return "the server's file is longer than any BIOS of the board, or not the image its catalogue's "
                    "digest names";
    case 14: return "not enough memory";
    case 82: return "the driver's write failed";
    case 110: return "no such image on the server";
    case 170: return "another update or save is running";
    case 222: return "not of the board's BIOS family";
    case 267: return "no //BIOS directory on the server";
    case 12003: return "no connection";
    case 12030: return "the transfer broke off";
    default: return "unknown failure";
    }
}

int CommandUpdate(const Engine& engine, const Options& options) {
    FoundUpdate update;
    const bool any = FindUpdate(engine, &update);
    const std::string& found = update.text;
    // Lines for people go to standard error with --json, so that standard
    // output holds the one object.
    FILE* out = options.json ? stderr : stdout;
    Json json;
    AddFoundJson(json, any, update);
    auto finish = [&](int code) {
        if (options.json) {
            json.Int("exitCode", code);
            json.Print();
        }
        return code;
    };
    if (!any) {
        Fail("no newer BIOS found on the update servers");
        return finish(kExitNoUpdate);
    }
    fprintf(out, "newer BIOS: %s\n", found.c_str());
    if (options.require_signed && !update.authenticated) {
        Fail("nothing written: the catalogue offering " + found +
             " is not signed by a key this program knows (--require-signed)");
        return finish(kExitNoUpdate);
    }
    if (!options.yes && !Confirm("Download " + found + " and write it to the flash part?", options.json)) {
        Fail("nothing written: not confirmed");
        json.Bool("confirmed", false);
        return finish(kExitUsage);
    }
    const int result = RunWithProgress([&]() -> int { return engine.UpdateBiosByUpdateManager(); },
                                       [&](ProgressBar& bar) {
                                           int status = 0, percent = 0;
                                           engine.GetProgressStatusForHubrix(&status, &percent);
                                           if (engine.DownloadStatusForUpdateManager() == 1) {
                                               bar.Show("downloading", percent);
                                           } else if (status != 0) {
                                               bar.Show(StatusName(status), percent);
                                           }
                                       });
    json.Int("result", result);
    if (result != 0) {
        Fail(Format("update to %s failed: %s (error %d)", found.c_str(), UpdateFailure(result), result));
        return finish(kExitNoUpdate);
    }
    fprintf(out, "written: %s\nrestart the computer to run the new BIOS\n", found.c_str());
    return finish(kExitOk);
}

struct Command {
    const char* name;
    int positional;  // how many arguments it takes
    bool takes_json;
    bool takes_yes;
    bool takes_flash_options;
    bool takes_require_signed;
    int (*run)(const Engine&, const Options&);
};

const Command kCommands[] = {
    {"info", 0, true, false, false, false, CommandInfo},
    {"save", 1, false, false, false, false, CommandSave},
    {"check", 1, true, false, false, false, CommandCheck},
    {"flash", 1, true, true, true, false, CommandFlash},
    {"update-check", 0, true, false, false, false, CommandUpdateCheck},
    {"update", 0, true, true, false, true, CommandUpdate},
};

int Main(int argc, char** argv) {
    if (argc < 2) {
        fputs(kMainHelp, stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        if (argc >= 3 && HelpOf(argv[2]) != nullptr) {
            fputs(HelpOf(argv[2]), stdout);
        } else {
            fputs(kMainHelp, stdout);
        }
        return kExitOk;
    }
    const Command* command = nullptr;
    for (const Command& candidate : kCommands) {
        if (name == candidate.name) command = &candidate;
    }
    if (command == nullptr) return Usage("", "unknown command \"" + name + "\"");

    Options options;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--json" && command->takes_json) {
            options.json = true;
        } else if (arg == "--yes" && command->takes_yes) {
            options.yes = true;
        } else if (arg == "--no-backup" && command->takes_flash_options) {
            options.no_backup = true;
        } else if (arg == "--keep-dmi" && command->takes_flash_options) {
            options.keep_dmi = 1;
        } else if (arg == "--clear-dmi" && command->takes_flash_options) {
            options.keep_dmi = 0;
        } else if (arg == "--require-signed" && command->takes_require_signed) {
            options.require_signed = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(name, "unknown option \"" + arg + "\" for " + name);
        } else {
            options.positional.push_back(arg);
        }
    }
    if (options.help) {
        fputs(HelpOf(name), stdout);
        return kExitOk;
    }
    if (static_cast<int>(options.positional.size()) != command->positional) {
        return Usage(name, command->positional == 0 ? name + " takes no file"
                                                     : name + " needs exactly one file");
    }
    Engine engine;
    if (!engine.Load()) return kExitNoEngine;
    return command->run(engine, options);
}

}  // namespace
}  // namespace vcli

int main(int argc, char** argv) {
    const int code = vcli::Main(argc, argv);
    fflush(stdout);
    fflush(stderr);
    return code;
}
