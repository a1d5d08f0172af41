// vossel save: the flash part's content to a file.
#include <cstdio>

#include "commands.h"
#include "console_text.h"
#include "engine_binding.h"
#include "progress.h"

namespace vcli {

const char* SaveFailure(uint8_t result) {
    switch (result) {
    case 1: return "not enough memory";
    case 2: return "the flash part could not be read (or another operation is running)";
    case 3: return "the file could not be written";
    default: return "unknown failure";
    }
}

uint8_t SaveWithProgress(const Engine& engine, const std::string& path) {
    return static_cast<uint8_t>(RunWithProgress([&]() -> int { return engine.SaveBiosQuiet(path.c_str()); },
                                                [&](ProgressBar& bar) { SampleEngineProgress(engine, bar); }));
}

int cmd_save(const Engine& engine, const Options& options) {
    const std::string path = options.positional[0];
    const uint8_t result = SaveWithProgress(engine, path);
    if (result != 0) {
        Fail(Format("cannot save to %s: %s", path.c_str(), SaveFailure(result)));
        return kExitSaveFailed;
    }
    printf("saved the flash part to %s\n", path.c_str());
    return kExitOk;
}

}  // namespace vcli
