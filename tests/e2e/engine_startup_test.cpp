// Vossel.dll as a host program meets it: loaded by full path from a folder of
// its own, with or without the simulated flash driver beside it, while another
// flash.dll lies in this program's folder, the first place the system's search
// path looks. Each suite needs a fresh process (a loaded flash.dll would
// satisfy any later load of that name); ctest runs them one by one.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "box_watcher.h"
#include "e2e_support.h"
#include "records.h"
#include "screen_capture.h"

namespace {

constexpr char kEngineFile[] = "Vossel.dll";
constexpr char kDriverFile[] = "flash.dll";
constexpr char kBoardFile[] = "flashsim.ini";
constexpr char kJournalFile[] = "flashsim.log";
constexpr DWORD kWatchDeadlineMs = 60000;

using RecordGetter = void(__cdecl*)(void* record, unsigned size);

template <typename Function>
Function Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

// Copies Vossel.dll from this program's folder into scratch; the problem, or
// an empty text.
std::string PlaceEngine(const e2e::ScratchDir& scratch) {
    if (!scratch.ok()) return "no scratch folder";
    if (!e2e::FileExists(e2e::ProgramDir() + kEngineFile)) return "Vossel.dll is not built";
    if (!e2e::FileExists(e2e::ProgramDir() + kDriverFile)) {
        return "flash.dll must lie in the program's folder, on the search path";
    }
    if (GetModuleHandleA(kDriverFile) != nullptr || GetModuleHandleA(kEngineFile) != nullptr) {
        return "the engine or a driver is loaded already; run one suite per process";
    }
    if (!CopyFileA((e2e::ProgramDir() + kEngineFile).c_str(), scratch.File(kEngineFile).c_str(), FALSE)) {
        return "cannot copy Vossel.dll";
    }
    return {};
}

// Declared first: once flash.dll is loaded, this suite means nothing in the
// same process.
TEST(EngineWithoutDriver, RefusesToLoadAfterOneErrorBox) {
    e2e::ScratchDir scratch;
    const std::string problem = PlaceEngine(scratch);
    ASSERT_EQ(problem, "");
    ASSERT_FALSE(e2e::FileExists(scratch.File(kDriverFile)));
    const std::string shot = robot::ScreenshotPath("e2e_load_flash_failed.png");
    DeleteFileA(shot.c_str());
    robot::BoxWatcher watcher({"Error", "OK", shot, kWatchDeadlineMs});
    ASSERT_TRUE(watcher.Start());

    SetLastError(0);
    HMODULE engine = LoadLibraryA(scratch.File(kEngineFile).c_str());
    const DWORD error = GetLastError();
    watcher.Stop();

    EXPECT_EQ(engine, nullptr);
    // Its start-up refused, rather than the file being unloadable.
    EXPECT_EQ(error, DWORD(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(GetModuleHandleA(kDriverFile), nullptr) << "the engine loaded " << ModulePath(GetModuleHandleA(kDriverFile));
    EXPECT_FALSE(watcher.deadline_reached());

    ASSERT_EQ(watcher.boxes().size(), 1u);
    const robot::SeenBox& box = watcher.boxes()[0];
    EXPECT_TRUE(box.expected) << "caption \"" << robot::Escape(box.info.caption) << "\"";
    EXPECT_TRUE(box.answered);
    EXPECT_EQ(box.info.caption, "Error");
    EXPECT_EQ(box.info.StaticTexts(), std::vector<std::string>{"Load flash.dll failed !"});
    EXPECT_EQ(box.info.ButtonTexts(), std::vector<std::string>{"OK"});
    EXPECT_EQ(box.info.owner, nullptr);
    EXPECT_TRUE(watcher.screenshot_saved()) << shot;
}

// The simulated board: every field filled to its last byte, so that each of
// the 62 and 94 bytes comes from the board file.
constexpr char kFlashType[] = "Simulated 8 Mbit LPC flash, 3.3 V, 64K blks";
constexpr char kPartNumber[] = "7Q23MB10";
constexpr char kSignOn[] = "NORVANE 7Q23MB10 UEFI BIOS F10 of 2024, end-to-end board, every byte of it used.";
static_assert(sizeof kFlashType == sizeof(FLASH_INFO::FlashType), "flash type fills its field");
static_assert(sizeof kPartNumber == sizeof(BIOS_INFO::BiosPartNumber), "part number fills its field");
static_assert(sizeof kSignOn == sizeof(BIOS_INFO::SignOnMessage), "sign-on fills its field");

struct Board {
    uint8_t flash_bytes0[2];
    uint32_t flash_size;
    uint8_t flash_bytes6[12];
    const char* flash_type;
    int32_t bios_type;
    const char* part_number;
    const char* sign_on;
};

constexpr Board kBoard = {
    {0xA5, 0x5A},
    0x100000,
    {0x01, 0x12, 0x23, 0x34, 0x45, 0x56, 0x67, 0x78, 0x89, 0x9A, 0xAB, 0xFE},
    kFlashType,
    kBiosTypeAmiUefi,
    kPartNumber,
    kSignOn,
};

std::string HexBytes(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

std::string BoardFileText(const Board& board) {
    std::ostringstream ini;
    ini << "[Flash]\r\n"
        << "FlashSize=0x" << std::hex << std::uppercase << board.flash_size << std::dec << "\r\n"
        << "FlashType=" << board.flash_type << "\r\n"
        << "FlashInfoBytes0_1=" << HexBytes(board.flash_bytes0, 2) << "\r\n"
        << "FlashInfoBytes6_17=" << HexBytes(board.flash_bytes6, 12) << "\r\n"
        << "[Bios]\r\n"
        << "BiosType=" << board.bios_type << "\r\n"
        << "BiosPartNumber=" << board.part_number << "\r\n"
        << "SignOnMessage=" << board.sign_on << "\r\n";
    return ini.str();
}

// The records as the board file describes them, laid out by hand.
std::vector<uint8_t> ExpectedFlashRecord(const Board& board) {
    std::vector<uint8_t> record(kFlashInfoSize, 0);
    std::memcpy(&record[0], board.flash_bytes0, 2);
    for (int i = 0; i < 4; ++i) record[2 + i] = uint8_t(board.flash_size >> (8 * i));
    std::memcpy(&record[6], board.flash_bytes6, 12);
    std::memcpy(&record[18], board.flash_type, std::strlen(board.flash_type) + 1);
    return record;
}

std::vector<uint8_t> ExpectedBiosRecord(const Board& board) {
    std::vector<uint8_t> record(kBiosInfoSize, 0);
    for (int i = 0; i < 4; ++i) record[i] = uint8_t(uint32_t(board.bios_type) >> (8 * i));
    std::memcpy(&record[4], board.part_number, std::strlen(board.part_number) + 1);
    std::memcpy(&record[13], board.sign_on, std::strlen(board.sign_on) + 1);
    return record;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Loads the engine once for the suite, beside the simulated driver and its
// board file. The engine and the driver stay loaded for the life of the
// process, and their files in the scratch folder with them.
class EngineWithSimulatedDriver : public ::testing::Test {
protected:
    struct Loaded {
        e2e::ScratchDir scratch;
        HMODULE engine = nullptr;
        RecordGetter get_flash_info = nullptr;
        RecordGetter get_bios_info = nullptr;
        std::string problem;  // why the suite cannot run; empty when it can
    };

    static void SetUpTestSuite() {
        loaded_ = new Loaded;
        loaded_->problem = Load(*loaded_);
    }
    static void TearDownTestSuite() {
        delete loaded_;
        loaded_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(loaded_->problem, ""); }

    static std::string Load(Loaded& loaded) {
        const e2e::ScratchDir& scratch = loaded.scratch;
        std::string problem = PlaceEngine(scratch);
        if (!problem.empty()) return problem;
        if (!CopyFileA((e2e::ProgramDir() + kDriverFile).c_str(), scratch.File(kDriverFile).c_str(), FALSE)) {
            return "cannot copy flash.dll";
        }
        if (!(std::ofstream(scratch.File(kBoardFile), std::ios::binary) << BoardFileText(kBoard))) {
            return "cannot write the board file";
        }

        robot::BoxWatcher watcher({"Error", "OK", "", kWatchDeadlineMs});
        if (!watcher.Start()) return "the box watcher did not start";
        loaded.engine = LoadLibraryA(scratch.File(kEngineFile).c_str());
        const DWORD error = GetLastError();
        watcher.Stop();
        for (const robot::SeenBox& box : watcher.boxes()) {
            const std::vector<std::string> texts = box.info.StaticTexts();
            problem += "box \"" + robot::Escape(box.info.caption) + "\": " +
                       (texts.empty() ? std::string() : robot::Escape(texts[0])) + "\n";
        }
        if (loaded.engine == nullptr) problem += "LoadLibrary failed with error " + std::to_string(error);
        if (!problem.empty()) return problem;
        loaded.get_flash_info = Bind<RecordGetter>(loaded.engine, "Get_Flash_Info");
        loaded.get_bios_info = Bind<RecordGetter>(loaded.engine, "Get_Bios_Info");
        if (loaded.get_flash_info == nullptr || loaded.get_bios_info == nullptr) return "getters not exported";
        return {};
    }

    static const e2e::ScratchDir& scratch() { return loaded_->scratch; }

    static Loaded* loaded_;
};

EngineWithSimulatedDriver::Loaded* EngineWithSimulatedDriver::loaded_ = nullptr;

TEST_F(EngineWithSimulatedDriver, BindsTheDriverBesideItAndReadsTheRecordsOnce) {
    const HMODULE driver = GetModuleHandleA(kDriverFile);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(ModulePath(driver), scratch().File(kDriverFile));

    const std::vector<std::string> journal = ReadLines(scratch().File(kJournalFile));
    const std::vector<std::string> startup = {
        "Board ini=" + scratch().File(kBoardFile) + " -> 1",
        "W_Get_Flash_Info size=62 -> 1",
        "W_Get_Bios_Info size=94 -> 1",
    };
    EXPECT_EQ(journal, startup);

    // The getters answer from what start-up read; the driver is not asked again.
    uint8_t record[128];
    loaded_->get_flash_info(record, sizeof record);
    loaded_->get_bios_info(record, sizeof record);
    EXPECT_EQ(ReadLines(scratch().File(kJournalFile)), startup);
}

struct GetterCase {
    const char* name;
    bool bios;       // Get_Bios_Info, else Get_Flash_Info
    unsigned size;   // the size argument
    bool copies;     // whether the record lands in the buffer
};

constexpr GetterCase kGetterCases[] = {
    {"flash_one_short", false, kFlashInfoSize - 1, false},
    {"flash_exact", false, kFlashInfoSize, true},
    {"flash_larger", false, 200, true},
    {"flash_zero", false, 0, false},
    {"bios_one_short", true, kBiosInfoSize - 1, false},
    {"bios_exact", true, kBiosInfoSize, true},
    {"bios_larger", true, 200, true},
};

TEST_F(EngineWithSimulatedDriver, GettersCopyTheWholeRecordOrNothing) {
    constexpr uint8_t kUntouched = 0xCC;
    for (const GetterCase& c : kGetterCases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> expected = c.bios ? ExpectedBiosRecord(kBoard) : ExpectedFlashRecord(kBoard);
        std::vector<uint8_t> buffer(200, kUntouched);
        (c.bios ? loaded_->get_bios_info : loaded_->get_flash_info)(buffer.data(), c.size);

        std::vector<uint8_t> want(200, kUntouched);
        if (c.copies) std::copy(expected.begin(), expected.end(), want.begin());
        EXPECT_EQ(buffer, want);
    }
}

}  // namespace
