// vossel update-check and update: a newer BIOS from the built-in update
// servers, and writing it.
#include <cstdio>

#include "commands.h"
#include "console_text.h"
#include "engine_binding.h"
#include "json_output.h"
#include "progress.h"

namespace vcli {
namespace {

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

void AddFoundJson(JsonOutput& json, bool any, const FoundUpdate& found) {
    json.Bool("found", any);
    if (any) json.Str("update", found.text); else json.Null("update");
    json.Bool("authenticated", any && found.authenticated);
    if (any && !found.digest.empty()) json.Str("digest", found.digest); else json.Null("digest");
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

}  // namespace

int cmd_update_check(const Engine& engine, const Options& options) {
    FoundUpdate update;
    const bool any = FindUpdate(engine, &update);
    const std::string& found = update.text;
    if (options.json) {
        JsonOutput json;
        AddFoundJson(json, any, update);
        json.Print();
    } else if (any) {
        printf("newer BIOS: %s\n", found.c_str());
    } else {
        printf("no newer BIOS found\n");
    }
    return any ? kExitOk : kExitNoUpdate;
}

int cmd_update(const Engine& engine, const Options& options) {
    FoundUpdate update;
    const bool any = FindUpdate(engine, &update);
    const std::string& found = update.text;
    // Lines for people go to standard error with --json, so that standard
    // output holds the one object.
    FILE* out = options.json ? stderr : stdout;
    JsonOutput json;
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

}  // namespace vcli
