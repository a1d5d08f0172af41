#include "check_report.h"

#include <cstdio>
#include <iterator>

#include "console_text.h"
#include "engine_binding.h"
#include "json_output.h"
#include "records.h"

namespace vcli {
namespace {

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

}  // namespace

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

CheckOutcome RunCheck(const Engine& engine, const std::string& image) {
    CheckOutcome outcome;
    outcome.record.size = sizeof(ImageCheck);
    outcome.writable = engine.CheckBiosImage(image.c_str(), &outcome.record) == 1;
    outcome.verdicts = Verdicts(engine, outcome.record);
    return outcome;
}

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

void AddCheckJson(JsonOutput& json, const CheckOutcome& outcome) {
    nlohmann::ordered_json checks = nlohmann::ordered_json::array();
    for (const CheckVerdict& verdict : outcome.verdicts) {
        checks.push_back(JsonOutput().Str("check", verdict.name).Str("verdict", verdict.verdict).Object());
    }
    json.Bool("writable", outcome.writable)
        .Int("failedCheck", outcome.record.failedCheck)
        .Set("checks", std::move(checks))
        .Int("plan", outcome.record.plan)
        .Str("planText", PlanName(outcome.record.plan))
        .Int("boardMode", outcome.record.boardMode)
        .Int("writeLength", outcome.record.writeLength)
        .Str("message", OneLine(outcome.record.message))
        .Str("caption", OneLine(outcome.record.caption));
}

}  // namespace vcli
