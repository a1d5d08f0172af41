// vossel flash: check an image, back up the part, write the image and read
// the part back.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "commands.h"
#include "check_report.h"
#include "console_text.h"
#include "engine_binding.h"
#include "json_output.h"
#include "progress.h"
#include "records.h"

namespace vcli {
namespace {

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

}  // namespace

int cmd_flash(const Engine& engine, const Options& options) {
    const std::string image = options.positional[0];
    JsonOutput json;
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

}  // namespace vcli
