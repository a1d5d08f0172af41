// vossel check: the engine's checks on an image; nothing is written.
#include "commands.h"
#include "check_report.h"
#include "engine_binding.h"
#include "json_output.h"

namespace vcli {

int cmd_check(const Engine& engine, const Options& options) {
    const std::string image = options.positional[0];
    const CheckOutcome outcome = RunCheck(engine, image);
    if (options.json) {
        JsonOutput json;
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

}  // namespace vcli
