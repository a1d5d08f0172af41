// vossel.exe: the engine's operations from a console. Everything goes through
// the exports of Vossel.dll (and, for the power saver's state, flash.dll),
// both loaded from this program's own folder. No engine call that shows a
// window is made: images are checked with CheckBiosImage before FlashBIOS(2)
// is asked to write them, and Check_ENL is never called.
//
// This file reads the command line (with CLI11) and hands it to the
// command's entry point through the one table below; each command lives in
// commands/.
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "console_text.h"
#include "engine_binding.h"

namespace vcli {
namespace {

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

// One row per command: its name, its entry point, how many arguments it
// takes, the options it accepts and its help text.
enum OptionGroup : unsigned {
    kJson = 1u << 0,           // --json
    kYes = 1u << 1,            // --yes
    kFlashOptions = 1u << 2,   // --no-backup, --keep-dmi, --clear-dmi
    kRequireSigned = 1u << 3,  // --require-signed
};

struct Command {
    const char* name;
    CommandFn run;
    int positional;
    unsigned options;  // OptionGroup bits
    const char* help;
};

const Command kCommands[] = {
    {"info", cmd_info, 0, kJson,
     "usage: vossel info [--json]\n"
     "Shows the flash part (type, size), the BIOS (family, part number, sign-on),\n"
     "whether the board has a backup BIOS part and the power saver's state.\n"},
    {"save", cmd_save, 1, 0,
     "usage: vossel save FILE\n"
     "Saves the flash part's content to FILE. Exit 7 when it cannot be saved.\n"},
    {"check", cmd_check, 1, kJson,
     "usage: vossel check IMAGE [--json]\n"
     "Runs every check the engine makes before writing IMAGE and prints each\n"
     "verdict and the write the driver would be asked for. Nothing is written.\n"
     "Exit 0 when the image would be written, 3 when it is refused.\n"},
    {"flash", cmd_flash, 1, kJson | kYes | kFlashOptions,
     "usage: vossel flash IMAGE [--yes] [--no-backup] [--keep-dmi|--clear-dmi] [--json]\n"
     "Checks IMAGE (exit 3 when refused), asks before writing unless --yes, saves\n"
     "the current content to backup-YYYYMMDD-HHMMSS.bin beside IMAGE unless\n"
     "--no-backup and proves it: the part's length, and equal to a second read\n"
     "of the part (exit 4, nothing written, when that fails), writes the image\n"
     "keeping the board's DMI data (--clear-dmi overwrites it; exit 5 when the\n"
     "write fails) and reads the part back (exit 6 when it differs). The machine\n"
     "is never restarted: restart it yourself to run the new BIOS.\n"},
    {"update-check", cmd_update_check, 0, kJson,
     "usage: vossel update-check [--json]\n"
     "Asks the built-in update servers whether a newer BIOS exists for this\n"
     "board. Exit 0 when one is found, 8 when not. With --json, \"authenticated\"\n"
     "tells whether a built-in key verified the server's catalogue and \"digest\"\n"
     "the SHA-256 it gives for the image (null when none).\n"},
    {"update", cmd_update, 0, kJson | kYes | kRequireSigned,
     "usage: vossel update [--yes] [--require-signed] [--json]\n"
     "Finds a newer BIOS on the built-in update servers, asks before writing\n"
     "unless --yes, downloads and writes it. The image must match the digest its\n"
     "catalogue gives. --require-signed refuses a catalogue that no built-in key\n"
     "authenticates. Exit 8 when none is found, the catalogue is refused or the\n"
     "update fails.\n"},
};

const Command* Find(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

const char* HelpOf(const std::string& name) {
    const Command* command = Find(name);
    return command != nullptr ? command->help : nullptr;
}

int Usage(const std::string& command, const std::string& problem) {
    Fail(problem);
    const char* help = HelpOf(command);
    fputs(help != nullptr ? help : kMainHelp, stderr);
    return kExitUsage;
}

// The command's options and files, read by CLI11 (which also takes
// --json=true and the like); an empty problem when they are the command's.
// Each option is registered only for the commands that take it, so that
// any other is told as unknown for this command.
Options ParseOptions(const Command& command, const std::vector<std::string>& args, std::string* problem) {
    Options options;
    CLI::App app;
    app.set_help_flag();  // the help texts are the table's own
    app.allow_extras();
    app.add_flag("-h,--help", options.help);
    if (command.options & kJson) app.add_flag("--json", options.json);
    if (command.options & kYes) app.add_flag("--yes", options.yes);
    if (command.options & kFlashOptions) {
        app.add_flag("--no-backup", options.no_backup);
        // --keep-dmi and --clear-dmi: the last one given counts.
        app.add_flag_callback("--keep-dmi", [&options] { options.keep_dmi = 1; })->trigger_on_parse();
        app.add_flag_callback("--clear-dmi", [&options] { options.keep_dmi = 0; })->trigger_on_parse();
    }
    if (command.options & kRequireSigned) app.add_flag("--require-signed", options.require_signed);
    app.add_option("file", options.positional);
    try {
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));  // CLI11 takes them last first
    } catch (const CLI::ParseError& error) {
        *problem = error.what();
        return options;
    }
    // What CLI11 left over, and files that look like options ("-5", which
    // it takes for a number), are unknown options.
    const std::vector<std::string> extras = app.remaining();
    options.positional.insert(options.positional.end(), extras.begin(), extras.end());
    for (const std::string& arg : options.positional) {
        if (arg.size() > 1 && arg[0] == '-') {
            *problem = "unknown option \"" + arg + "\" for " + command.name;
            break;
        }
    }
    return options;
}

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
    const Command* command = Find(name);
    if (command == nullptr) return Usage("", "unknown command \"" + name + "\"");

    std::string problem;
    const Options options = ParseOptions(*command, std::vector<std::string>(argv + 2, argv + argc), &problem);
    if (!problem.empty()) return Usage(name, problem);
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
