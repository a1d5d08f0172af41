// The seeded fault campaign for vossel.exe's flash, the one path that reads
// the part back: each round lays out a board with one driver failure (a
// function that fails as a whole, a read or write that fails on reaching a
// random point of a random phase, or a part that fools the driver's own
// verify), runs "vossel flash" with or without its backup, and checks what
// the tool claims against the part's file: exit 0 only when the part holds the
// image (and the backup the old part), a refusal before the write with the
// part untouched, and the next command working once the driver does.
// VOSSEL_CAMPAIGN_SEED replays a run, VOSSEL_CLI_CAMPAIGN_ROUNDS sets its
// length.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "engine_host.h"

namespace {

using namespace e2e;

constexpr DWORD kRunTimeoutMs = 120000;
constexpr unsigned kDefaultRounds = 24;

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

unsigned EnvironmentNumber(const char* name, unsigned fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? static_cast<unsigned>(std::strtoul(text, nullptr, 0)) : fallback;
}

// The board file: a 1 MiB Award board, with the fault's lines.
std::string Board(const std::string& flash_keys, const std::string& fail_keys) {
    return "[Flash]\r\nFlashSize=0x100000\r\nFlashType=MX25L8005 (simulated)\r\nContent=flash.bin\r\n" + flash_keys +
           "[Bios]\r\nBiosType=1\r\nBiosPartNumber=6A69VN01\r\n"
           "[Timing]\r\nPhaseMillis=0\r\n[Journal]\r\nPath=flashsim.log\r\n[Fail]\r\n" + fail_keys;
}

struct Fault {
    std::string description;
    std::string flash_keys;
    std::string fail_keys;
    bool in_write = false;     // may leave the part changed behind a failure
    bool fools_verify = false;  // the part differs from what the driver verified
};

const char* const kFailingFunctions[] = {"W_Flash_Read",      "W_Flash_Write",   "W_Get_Progress_Status",
                                         "IsUtilityActive",   "Load_CMOS_Default", "W_Support_ENL",
                                         "EpCheckOemid"};
const int kPhaseStatuses[] = {2, 4, 3, 6};  // reading, erasing, writing, verifying
// [Flash] faults: a part that fools the driver's verify, a read that reports
// success but delivers half the part.
const char* const kFlashFaults[] = {
    "CorruptWrites=1",
    "ShortReads=count",
    "ShortReads=zeros",
};

Fault PickFault(std::mt19937& random) {
    Fault fault;
    switch (std::uniform_int_distribution<int>(0, 5)(random)) {
    case 0: fault.description = "no fault"; return fault;
    case 1: case 2: {
        const std::string function =
            kFailingFunctions[std::uniform_int_distribution<size_t>(0, std::size(kFailingFunctions) - 1)(random)];
        fault.description = "[Fail] " + function + "=1";
        fault.fail_keys = function + "=1\r\n";
        fault.in_write = function == "W_Flash_Write";
        return fault;
    }
    case 3: {
        const std::string key = kFlashFaults[std::uniform_int_distribution<size_t>(0, std::size(kFlashFaults) - 1)(random)];
        fault.description = "[Flash] " + key;
        fault.flash_keys = key + "\r\n";
        fault.fools_verify = key == "CorruptWrites=1";
        fault.in_write = fault.fools_verify;
        return fault;
    }
    default: {
        const int status = kPhaseStatuses[std::uniform_int_distribution<size_t>(0, std::size(kPhaseStatuses) - 1)(random)];
        const int percent = std::uniform_int_distribution<int>(0, 100)(random);
        fault.description = "[Fail] AtStatus=" + std::to_string(status) + " AtPercent=" + std::to_string(percent);
        fault.fail_keys = "AtStatus=" + std::to_string(status) + "\r\nAtPercent=" + std::to_string(percent) + "\r\n";
        fault.in_write = status != 2;
        return fault;
    }
    }
}

std::vector<std::string> Backups(const ScratchDir& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(dir.File("backup-*.bin").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName); while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

TEST(CliFaultCampaign, FlashTellsTheTruthUnderDriverFailures) {
    const unsigned seed = EnvironmentNumber("VOSSEL_CAMPAIGN_SEED", std::random_device{}());
    const unsigned rounds = EnvironmentNumber("VOSSEL_CLI_CAMPAIGN_ROUNDS", kDefaultRounds);
    std::mt19937 random(seed);
    std::printf("vossel flash fault campaign: seed %u, %u rounds (VOSSEL_CAMPAIGN_SEED=%u replays it)\n", seed,
                rounds, seed);
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    for (const char* file : {"vossel.exe", "Vossel.dll", "flash.dll"}) {
        ASSERT_TRUE(CopyFileA((ProgramDir() + file).c_str(), dir.File(file).c_str(), FALSE)) << file;
    }
    const std::string old_part = MakeAwardImage(dir.File("old.bin"), "0x11");
    const std::string image = MakeAwardImage(dir.File("new.bin"), "0x5A");
    ASSERT_EQ(image.size(), 0x100000u);
    const auto vossel = [&](const std::string& arguments) {
        return RunProgram("\"" + dir.File("vossel.exe") + "\" " + arguments, kRunTimeoutMs);
    };

    for (unsigned round = 0; round < rounds; ++round) {
        const Fault fault = PickFault(random);
        const bool backup = std::uniform_int_distribution<int>(0, 1)(random) == 1;
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round) + ": " + fault.description +
                     (backup ? ", with backup" : ", --no-backup"));
        for (const std::string& name : Backups(dir)) DeleteFileA(dir.File(name).c_str());
        WriteBytes(dir.File("flash.bin"), old_part);
        WriteBytes(dir.File("flashsim.ini"), Board(fault.flash_keys, fault.fail_keys));

        const ProgramRun run = vossel("flash \"" + dir.File("new.bin") + "\" --yes" + (backup ? "" : " --no-backup"));
        ASSERT_TRUE(run.finished);
        const std::string part = ReadAll(dir.File("flash.bin"));
        const std::vector<std::string> backups = Backups(dir);
        switch (run.exit_code) {
        case 0:
            EXPECT_TRUE(part == image) << "exit 0, but the part does not hold the image\n" << run.output;
            EXPECT_FALSE(fault.fools_verify) << "a part that fools the driver's verify passed\n" << run.output;
            if (backup) {
                ASSERT_EQ(backups.size(), 1u) << run.output;
                EXPECT_TRUE(ReadAll(dir.File(backups[0])) == old_part) << "the backup is not the old part";
            }
            break;
        case 3:
        case 4:
            EXPECT_TRUE(part == old_part) << "refused before the write, yet the part changed\n" << run.output;
            EXPECT_TRUE(backups.empty()) << "a refused flash left a backup";
            break;
        case 5:
            if (!fault.in_write) EXPECT_TRUE(part == old_part) << "no write failed, yet the part changed";
            break;
        case 6:
            // Written, then the read-back failed or differed.
            if (!fault.in_write) EXPECT_TRUE(part == image) << "the write went well, yet the part differs";
            break;
        default: ADD_FAILURE() << "exit code " << run.exit_code << "\n" << run.output;
        }
        if (fault.description == "no fault") EXPECT_EQ(run.exit_code, 0u) << run.output;

        // The next command works once the driver does.
        WriteBytes(dir.File("flashsim.ini"), Board("", ""));
        const ProgramRun saved = vossel("save \"" + dir.File("after.bin") + "\"");
        EXPECT_EQ(saved.exit_code, 0u) << saved.output;
        EXPECT_TRUE(ReadAll(dir.File("after.bin")) == part) << "the next save does not hold the part";
        DeleteFileA(dir.File("after.bin").c_str());
        if (HasFatalFailure()) break;
    }
}

}  // namespace
