// One writer on the machine: two programs that each load their own copy of
// Vossel.dll drive one simulated board. While one writes (held by the
// simulated driver in the middle of its writing phase), this program's copy
// and vossel.exe are turned away exactly as a second thread of one program
// is, and the write goes on to the end; a program ended in the middle of its
// write leaves the guard to the next one.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "box_watcher.h"
#include "checked_update.h"
#include "debug_notes.h"
#include "e2e_support.h"
#include "engine_host.h"

namespace {

using namespace e2e;

constexpr DWORD kStartTimeoutMs = 60000;
constexpr DWORD kRunTimeoutMs = 120000;
constexpr char kBusyText[] = "Another BIOS update or save is running !\nPlease wait until it has ended.";

using FlashBiosFn = int(__cdecl*)(int, const char*, int, int, unsigned);
using SaveBiosFn = int(__cdecl*)(int, const char*);
using SaveBiosExFn = uint8_t(__cdecl*)(int, const char*);
using UpdateManagerFn = int(__cdecl*)();
using CheckFn = int(__cdecl*)(const char*, VosselImageCheck*);
using VerifyFn = int(__cdecl*)(const char*, unsigned*);

void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

// The other program: e2e_guard_holder.exe from the board's folder, writing
// image until told to go on.
class Holder {
public:
    Holder(const ScratchDir& board, const std::string& image) {
        const std::string tag = std::to_string(GetCurrentProcessId()) + "." + std::to_string(++count_);
        const std::string held_name = "Local\\VosselGuardTest.held." + tag;
        const std::string go_name = "Local\\VosselGuardTest.go." + tag;
        held_.reset(CreateEventA(nullptr, TRUE, FALSE, held_name.c_str()));
        go_.reset(CreateEventA(nullptr, TRUE, FALSE, go_name.c_str()));
        std::string command = "\"" + board.File("e2e_guard_holder.exe") + "\" \"" + image + "\" " + held_name + " " +
                              go_name;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            CloseHandle(process.hThread);
            process_.reset(process.hProcess);
        }
    }
    ~Holder() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 99);
            WaitForSingleObject(process_.get(), kRunTimeoutMs);
        }
    }

    // True once its write stands at the hold (false when it ended first).
    bool Held() {
        if (!process_ || !held_) return false;
        HANDLE either[] = {held_.get(), process_.get()};
        return WaitForMultipleObjects(2, either, FALSE, kStartTimeoutMs) == WAIT_OBJECT_0;
    }
    // Lets the write go on; its exit code (FlashBIOS's result), or -1.
    int Finish() {
        SetEvent(go_.get());
        DWORD code = 0;
        if (WaitForSingleObject(process_.get(), kRunTimeoutMs) != WAIT_OBJECT_0) return -1;
        return GetExitCodeProcess(process_.get(), &code) ? static_cast<int>(code) : -1;
    }
    bool Kill() {
        return TerminateProcess(process_.get(), 9) && WaitForSingleObject(process_.get(), kRunTimeoutMs) == WAIT_OBJECT_0;
    }

private:
    static inline int count_ = 0;
    UniqueHandle held_;
    UniqueHandle go_;
    UniqueHandle process_;
};

// One board folder for the whole program: the engine and its flash.dll load
// once per process.
class TwoWriters : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        board_ = new ScratchDir;
        ASSERT_TRUE(board_->ok());
        for (const char* file : {"Vossel.dll", "flash.dll", "vossel.exe", "e2e_guard_holder.exe"}) {
            ASSERT_TRUE(CopyFileA((ProgramDir() + file).c_str(), board_->File(file).c_str(), FALSE)) << file;
        }
        WriteBytes(board_->File("flashsim.ini"),
                  "[Flash]\r\nFlashSize=0x100000\r\nFlashType=MX25L8005 (simulated)\r\nContent=flash.bin\r\n"
                  "[Bios]\r\nBiosType=1\r\nBiosPartNumber=6A69VN01\r\n"
                  "[Timing]\r\nPhaseMillis=0\r\nHoldLimitMillis=120000\r\n"
                  "[Journal]\r\nPath=flashsim.log\r\n");
        old_ = new std::string(MakeAwardImage(board_->File("flash.bin"), "0x11"));
        first_ = new std::string(MakeAwardImage(board_->File("first.bin"), "0x5A"));
        second_ = new std::string(MakeAwardImage(board_->File("second.bin"), "0x33"));
        engine_ = LoadLibraryA(board_->File("Vossel.dll").c_str());
        ASSERT_NE(engine_, nullptr);
    }
    static void TearDownTestSuite() {
        if (engine_ != nullptr) FreeLibrary(engine_);
        delete board_;
        delete old_;
        delete first_;
        delete second_;
    }
    void SetUp() override { ASSERT_NE(engine_, nullptr); }

    static std::string Part() { return ReadAll(board_->File("flash.bin")); }
    template <typename Function>
    static Function Export(const char* name) {
        return Bind<Function>(engine_, name);
    }
    static ProgramRun Cli(const std::string& arguments) {
        return RunProgram("\"" + board_->File("vossel.exe") + "\" " + arguments, kRunTimeoutMs);
    }

    static inline ScratchDir* board_ = nullptr;
    static inline HMODULE engine_ = nullptr;
    static inline std::string* old_ = nullptr;
    static inline std::string* first_ = nullptr;
    static inline std::string* second_ = nullptr;
};

TEST_F(TwoWriters, TheSecondIsTurnedAwayAndTheFirstWritesItsImage) {
    ASSERT_EQ(first_->size(), 0x100000u);
    WriteBytes(board_->File("flash.bin"), *old_);
    Holder holder(*board_, board_->File("first.bin"));
    ASSERT_TRUE(holder.Held());

    const std::string second = board_->File("second.bin");
    const std::string saved = board_->File("saved.bin");
    robot::BoxWatcher watcher({"Error", "OK", "", kRunTimeoutMs});
    ASSERT_TRUE(watcher.Start());
    EXPECT_EQ(Export<FlashBiosFn>("FlashBIOS")(2, second.c_str(), 1, 0, 0), 0);
    EXPECT_EQ(Export<FlashBiosFn>("FlashBIOS")(3, second_->data(), 1, 0, 0x100000), 0);
    EXPECT_EQ(Export<SaveBiosFn>("SaveBIOS")(1, saved.c_str()), 0);
    watcher.Stop();
    EXPECT_EQ(Export<SaveBiosExFn>("SaveBiosEx")(0, saved.c_str()), 2);
    EXPECT_EQ(Export<UpdateManagerFn>("UpdateBiosByUpdateManager")(), 170);
    VosselImageCheck check = {};
    check.size = sizeof check;
    EXPECT_EQ(Export<CheckFn>("CheckBiosImage")(second.c_str(), &check), 0);
    EXPECT_EQ(check.failedCheck, kCheckBusy);
    unsigned difference = 0;
    EXPECT_EQ(Export<VerifyFn>("VerifyBiosImage")(second.c_str(), &difference), -1);
    ASSERT_EQ(watcher.boxes().size(), 3u);
    for (const robot::SeenBox& box : watcher.boxes()) {
        EXPECT_EQ(box.info.StaticTexts(), std::vector<std::string>{kBusyText});
        EXPECT_TRUE(box.answered);
    }
    // A third program, vossel.exe, the same.
    const ProgramRun flash = Cli("flash \"" + second + "\" --yes --no-backup");
    EXPECT_EQ(flash.exit_code, 3u) << flash.output;
    const ProgramRun save = Cli("save \"" + saved + "\"");
    EXPECT_EQ(save.exit_code, 7u) << save.output;
    EXPECT_FALSE(FileExists(saved));

    EXPECT_EQ(holder.Finish(), 1);
    EXPECT_TRUE(Part() == *first_) << "the part holds the first writer's image";

    // Free again for the next one.
    EXPECT_EQ(Export<SaveBiosExFn>("SaveBiosEx")(0, saved.c_str()), 0);
    EXPECT_TRUE(ReadAll(saved) == *first_);
    DeleteFileA(saved.c_str());
}

TEST_F(TwoWriters, AWriterEndedInTheMiddleOfItsWriteLeavesTheGuardToTheNextOne) {
    WriteBytes(board_->File("flash.bin"), *old_);
    Holder holder(*board_, board_->File("first.bin"));
    ASSERT_TRUE(holder.Held());
    ASSERT_TRUE(holder.Kill());
    EXPECT_FALSE(Part() == *old_) << "the write had begun";

    DebugNotes notes;
    const std::string second = board_->File("second.bin");
    EXPECT_EQ(Export<FlashBiosFn>("FlashBIOS")(2, second.c_str(), 1, 0, 0), 1);
    EXPECT_TRUE(Part() == *second_) << "the next writer wrote its image";
    const std::vector<std::string> told = notes.Notes();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("ended without finishing"), std::string::npos) << told[0];

    // And a program after that.
    const ProgramRun check = Cli("check \"" + second + "\"");
    EXPECT_EQ(check.exit_code, 0u) << check.output;
}

}  // namespace
