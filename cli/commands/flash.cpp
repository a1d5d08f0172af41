// vossel flash: check an image, back up the part, write the image and read
// the part back.
#include <windows.h>

#include <cstdio>

#include "commands.h"
#include "check_report.h"
#include "console_text.h"
#include "engine_binding.h"
#include "json_output.h"
#include "progress.h"

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
