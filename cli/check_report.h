// The engine's image checks as vossel.exe presents them: each check's
// verdict in the order the engine makes them, the write plan, the refusal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine_api.h"

namespace vcli {

struct Engine;
class JsonOutput;

const char* PlanName(int plan);
const char* FamilyName(int32_t bios_type);

struct CheckVerdict {
    std::string name;
    std::string verdict;  // "pass", "FAIL: ...", "not reached"
};

struct CheckOutcome {
    ImageCheck record = {};
    std::vector<CheckVerdict> verdicts;
    bool writable = false;
};

// CheckBiosImage on image, with a verdict for each check of the board's family.
CheckOutcome RunCheck(const Engine& engine, const std::string& image);

// The one-line reason an image is not written, on standard error.
void TellRefusal(const std::string& image, const CheckOutcome& outcome);

// Every verdict, the plan and whether the image is writable, on standard output.
void PrintCheck(const std::string& image, const CheckOutcome& outcome);

// The outcome's members of a command's JSON object.
void AddCheckJson(JsonOutput& json, const CheckOutcome& outcome);

}  // namespace vcli
