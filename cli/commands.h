// What every command of vossel.exe shares: the exit codes, the options the
// command line gave, and the entry points the dispatch table in
// vossel_main.cpp maps the command names to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vcli {

struct Engine;

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

struct Options {
    std::vector<std::string> positional;
    bool json = false;
    bool yes = false;
    bool no_backup = false;
    int keep_dmi = 1;
    bool help = false;
    bool require_signed = false;
};

using CommandFn = int (*)(const Engine& engine, const Options& options);

int cmd_info(const Engine& engine, const Options& options);
int cmd_save(const Engine& engine, const Options& options);
int cmd_check(const Engine& engine, const Options& options);
int cmd_flash(const Engine& engine, const Options& options);
int cmd_update_check(const Engine& engine, const Options& options);
int cmd_update(const Engine& engine, const Options& options);

// The engine's quiet save (SaveBiosEx without the writer's message) with a
// progress bar; 0 saved, else its result code. save and flash's backup use it.
uint8_t SaveWithProgress(const Engine& engine, const std::string& path);
const char* SaveFailure(uint8_t result);

}  // namespace vcli
