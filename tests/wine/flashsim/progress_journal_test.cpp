// Progress figures of running reads and writes as another thread sees them,
// the holds that stop an operation at a chosen figure, and the journal.
#include "flashsim_fixture.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <regex>
#include <thread>

namespace {

constexpr unsigned kSize = 0x10000;

struct Figures {
    int status;
    int percent;
};

class ProgressTest : public FlashSimTest {
protected:
    void SetUp() override {
        FlashSimTest::SetUp();
        if (!HasFatalFailure()) {
            UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}}, {"Board", {{"DualBios", "1"}}}});
        }
    }

    Figures Progress() {
        Figures figures{-1, -1};
        EXPECT_EQ(driver_.W_Get_Progress_Status(&figures.status, &figures.percent), 1);
        return figures;
    }

    // Runs operation on a second thread, which stops at (status, percent);
    // while it stands there, inspect runs on this thread. Returns the
    // operation's result.
    template <class Operation, class Inspect>
    int RunHeldAt(int status, int percent, Operation operation, Inspect inspect) {
        driver_.FlashSim_HoldAt(status, percent);
        std::atomic<int> result{-1};
        std::thread worker([&] { result = operation(); });
        const bool held = driver_.FlashSim_WaitHeld(kWaitMs) == 1;
        if (held) {
            inspect();
        }
        driver_.FlashSim_Release();
        worker.join();
        EXPECT_TRUE(held) << "the operation reached status " << status << " at " << percent << " %";
        return result;
    }
};

bool operator==(const Figures& a, const Figures& b) {
    return a.status == b.status && a.percent == b.percent;
}

std::ostream& operator<<(std::ostream& out, const Figures& f) {
    return out << "(status " << f.status << ", " << f.percent << " %)";
}

TEST_F(ProgressTest, AnotherThreadSeesEachPhaseOfAWriteAndIdleAfterIt) {
    const Figures cases[] = {{kStatusErasing, 0},   {kStatusErasing, 37},   {kStatusErasing, 100},
                          {kStatusWriting, 1},   {kStatusWriting, 50},   {kStatusWriting, 100},
                          {kStatusVerifying, 0}, {kStatusVerifying, 99}, {kStatusVerifying, 100}};
    EXPECT_EQ(Progress(), (Figures{kStatusNone, 100})) << "idle before any operation";
    for (const Figures& c : cases) {
        SCOPED_TRACE(::testing::Message() << c);
        Bytes image = Pattern(kSize, c.percent);
        Figures seen{-1, -1};
        const int result = RunHeldAt(
            c.status, c.percent, [&] { return driver_.W_Flash_Write(image.data(), kSize, 1); },
            [&] { seen = Progress(); });
        EXPECT_EQ(result, 1) << LastError();
        EXPECT_EQ(seen, c);
        EXPECT_EQ(Progress(), (Figures{kStatusNone, 100})) << "idle after the write";
    }
}

TEST_F(ProgressTest, AReadReportsTheReadingPhase) {
    Bytes buffer(kSize);
    unsigned count = kSize;
    Figures seen{-1, -1};
    EXPECT_EQ(RunHeldAt(
                  kStatusReading, 30, [&] { return driver_.W_Flash_Read(buffer.data(), &count); },
                  [&] { seen = Progress(); }),
              1);
    EXPECT_EQ(seen, (Figures{kStatusReading, 30}));
    EXPECT_EQ(Progress(), (Figures{kStatusNone, 100}));
}

TEST_F(ProgressTest, ThePhasesReallyEraseWriteAndVerifyThePart) {
    const Bytes old = Pattern(kSize, 1);
    Bytes image = Pattern(kSize, 2);
    const auto write = [&] { return driver_.W_Flash_Write(image.data(), kSize, 1); };
    const Bytes erased(kSize, 0xFF);

    SetFileBytes("flashsim.bin", old);
    Bytes halfErased;
    RunHeldAt(kStatusErasing, 50, write, [&] { halfErased = FileBytes("flashsim.bin"); });
    Bytes wantHalfErased = old;
    std::fill(wantHalfErased.begin(), wantHalfErased.begin() + kSize / 2, 0xFF);
    EXPECT_EQ(halfErased, wantHalfErased);

    Bytes erasedBeforeWriting;
    RunHeldAt(kStatusWriting, 0, write, [&] { erasedBeforeWriting = FileBytes("flashsim.bin"); });
    EXPECT_EQ(erasedBeforeWriting, erased);

    Bytes halfWritten;
    RunHeldAt(kStatusWriting, 50, write, [&] { halfWritten = FileBytes("flashsim.bin"); });
    Bytes wantHalfWritten = erased;
    std::copy(image.begin(), image.begin() + kSize / 2, wantHalfWritten.begin());
    EXPECT_EQ(halfWritten, wantHalfWritten);

    // A part that does not hold what was written fails the verify phase.
    const int result = RunHeldAt(kStatusVerifying, 60, write, [&] {
        Bytes spoiled = image;
        spoiled[kSize - 3] ^= 0x01;
        SetFileBytes("flashsim.bin", spoiled);
    });
    EXPECT_EQ(result, 0);
    EXPECT_NE(LastError().find("verify found"), std::string::npos) << LastError();
    EXPECT_NE(LastError().find("at offset 0xFFFD"), std::string::npos) << LastError();
    EXPECT_EQ(Progress(), (Figures{kStatusNone, 100})) << "idle after a failed write too";

    // The same spoiling in the verified half goes unseen: verify reads as it goes.
    EXPECT_EQ(RunHeldAt(kStatusVerifying, 60, write,
                        [&] {
                            Bytes spoiled = image;
                            spoiled[3] ^= 0x01;
                            SetFileBytes("flashsim.bin", spoiled);
                        }),
              1);
}

TEST_F(ProgressTest, ADualWriteRunsThePhasesOnTheMainPartFirst) {
    Bytes image = Pattern(kSize, 3);
    Bytes backupMidway;
    EXPECT_EQ(RunHeldAt(
                  kStatusVerifying, 100, [&] { return driver_.W_Flash_Write_DualBios(image.data(), kSize, 1); },
                  [&] { backupMidway = FileBytes("flashsim_backup.bin"); }),
              1);
    EXPECT_EQ(backupMidway, Bytes(kSize, 0xFF)) << "the main part is verified before the backup is erased";
    EXPECT_EQ(FileBytes("flashsim_backup.bin"), image);
}

TEST_F(ProgressTest, AnotherOperationIsRefusedWhileOneRuns) {
    Bytes image = Pattern(kSize, 4);
    Bytes other = Pattern(kSize, 5);
    Bytes buffer(kSize);
    std::vector<int> results;
    Figures seen{-1, -1};
    EXPECT_EQ(RunHeldAt(
                  kStatusWriting, 50, [&] { return driver_.W_Flash_Write(image.data(), kSize, 1); },
                  [&] {
                      unsigned count = kSize;
                      results = {driver_.W_Flash_Read(buffer.data(), &count),
                                 driver_.W_Flash_Write(other.data(), kSize, 1),
                                 driver_.W_Flash_Write_BackupBios(other.data(), kSize, 1),
                                 driver_.FlashSim_LoadBoard(nullptr)};
                      seen = Progress();
                  }),
              1);
    EXPECT_EQ(results, std::vector<int>(4, 0));
    EXPECT_EQ(seen, (Figures{kStatusWriting, 50})) << "the refusals leave the running figures alone";
    EXPECT_EQ(FileBytes("flashsim.bin"), image);
    EXPECT_EQ(FileBytes("flashsim_backup.bin"), Bytes(kSize, 0xFF));
}

TEST_F(ProgressTest, AHoldThatIsNeverReleasedRunsOutOnItsOwn) {
    UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}}, {"Timing", {{"HoldLimitMillis", "50"}}}});
    Bytes image = Pattern(kSize, 6);
    driver_.FlashSim_HoldAt(kStatusWriting, 10);
    EXPECT_EQ(driver_.W_Flash_Write(image.data(), kSize, 1), 1) << "on this thread: nobody can release it";
    const std::vector<std::string> journal = JournalLines();
    EXPECT_NE(std::find(journal.begin(), journal.end(), "hold at status=3 percent=10 ran out after 50 ms"),
              journal.end());
    EXPECT_EQ(driver_.FlashSim_WaitHeld(0), 0);
}

TEST_F(ProgressTest, PollsFromAnotherThreadSeeWholeFiguresInPhaseOrderAndEachIsJournalled) {
    UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}}, {"Timing", {{"PhaseMillis", "150"}}}});
    Bytes image = Pattern(kSize, 7);
    std::atomic<bool> done{false};
    std::vector<Figures> seen;
    int result = -1;
    {
        std::thread poller([&] {
            while (!done) {
                Figures f{-1, -1};
                driver_.W_Get_Progress_Status(&f.status, &f.percent);
                seen.push_back(f);
            }
        });
        result = driver_.W_Flash_Write(image.data(), kSize, 1);
        done = true;
        poller.join();
    }
    ASSERT_EQ(result, 1) << LastError();

    // Each figure is one the write reported, and they come in phase order.
    const int phaseRank[] = {-1, -1, -1, 1, 0, -1, 2};  // erasing, writing, verifying
    int rank = 0, percent = 0;
    bool ended = false;
    size_t inPhase = 0;
    for (const Figures& f : seen) {
        ASSERT_TRUE(f.percent >= 0 && f.percent <= 100) << f;
        if (f.status == kStatusNone) {
            ASSERT_EQ(f.percent, 100) << "idle figures";
            ended = inPhase > 0;
            continue;
        }
        ASSERT_FALSE(ended) << "no phase after the write ended: " << f;
        ASSERT_TRUE(f.status >= 0 && f.status <= 6 && phaseRank[f.status] >= 0) << f;
        const int fRank = phaseRank[f.status];
        ASSERT_GE(fRank, rank) << "phases run erasing, writing, verifying: " << f;
        if (fRank > rank) {
            percent = 0;
        }
        ASSERT_GE(f.percent, percent) << "within a phase the percentage only grows: " << f;
        rank = fRank;
        percent = f.percent;
        ++inPhase;
    }
    EXPECT_GT(inPhase, 10u) << "a 450 ms write is seen at work";

    // One whole journal line per poll, however the lines of the two threads meet.
    const std::regex pollLine(R"(W_Get_Progress_Status status=\d percent=\d{1,3} -> 1)");
    size_t polls = 0;
    for (const std::string& line : JournalLines()) {
        if (line.rfind("W_Get_Progress_Status", 0) == 0) {
            EXPECT_TRUE(std::regex_match(line, pollLine)) << line;
            ++polls;
        }
    }
    EXPECT_EQ(polls, seen.size());
}

TEST_F(ProgressTest, TheJournalHasOneLinePerCallWithTheArgumentsThatMatter) {
    const std::string ini = DriverFile("flashsim.ini");
    WriteBoardFile({{"Flash", {{"FlashSize", "4096"}, {"Content", "small.bin"}}},
                    {"Board", {{"DualBios", "1"}, {"EnlPresent", "1"}, {"EnlActive", "1"}}}});
    ASSERT_EQ(driver_.FlashSim_LoadBoard(ini.c_str()), 1) << LastError();
    const size_t before = JournalLines().size();

    Bytes image = Pattern(4096, 1), buffer(4097), record(100);
    unsigned count = 4097;
    unsigned char a = 0, b = 0;
    int status = 0, percent = 0;
    struct Case {
        std::function<int()> call;
        const char* line;
    };
    const Case cases[] = {
        {[&] { return driver_.W_Get_Flash_Info(record.data(), 62); }, "W_Get_Flash_Info size=62 -> 1"},
        {[&] { return driver_.W_Get_Bios_Info(record.data(), 93); }, "W_Get_Bios_Info size=93 -> 0"},
        {[&] { return driver_.W_Flash_Write(image.data(), 4096, 1); }, "W_Flash_Write length=4096 keepDmi=1 -> 1"},
        {[&] { return driver_.W_Flash_Write(image.data(), 2048, 0); }, "W_Flash_Write length=2048 keepDmi=0 -> 0"},
        {[&] { return driver_.W_Flash_Read(buffer.data(), &count); }, "W_Flash_Read count=4097 -> 1"},
        {[&] { return driver_.W_Flash_Write_DualBios(image.data(), 4096, 0); },
         "W_Flash_Write_DualBios length=4096 keepDmi=0 -> 1"},
        {[&] { return driver_.W_Flash_Write_BackupBios(image.data(), 4096, 1); },
         "W_Flash_Write_BackupBios length=4096 keepDmi=1 -> 1"},
        {[&] { return driver_.W_Flash_Write_Ex(image.data(), 4096, 1, 2); },
         "W_Flash_Write_Ex length=4096 keepDmi=1 kind=2 -> 0"},
        {[&] { return driver_.W_Get_Progress_Status(&status, &percent); },
         "W_Get_Progress_Status status=0 percent=100 -> 1"},
        {[&] { return driver_.W_Support_ENL(&a, &b); }, "W_Support_ENL present=1 active=1 -> 1"},
        {[&] { return driver_.W_Enable_ENL(0); }, "W_Enable_ENL enable=0 -> 1"},
        {[&] { return driver_.Load_CMOS_Default(); }, "Load_CMOS_Default -> 1"},
        {[&] { return driver_.IsUtilityActive(image.data(), 4096, &a); }, "IsUtilityActive length=4096 permission=2 -> 1"},
        {[&] { return driver_.IsDualBiosSupported(); }, "IsDualBiosSupported -> 1"},
        {[&] { return driver_.ChangeDualBiosExport(1); }, "ChangeDualBiosExport selector=1 -> 1"},
        {[&] { return driver_.ChangeDualBiosExport(0x1FF); }, "ChangeDualBiosExport selector=511 -> 1"},
        {[&] { return driver_.EpCheckOemid(-7, 0x12345678); }, "EpCheckOemid a=-7 b=305419896 -> 1"},
    };
    std::vector<std::string> want;
    for (const Case& c : cases) {
        c.call();
        want.push_back(c.line);
    }
    const std::vector<std::string> journal = JournalLines();
    ASSERT_GE(journal.size(), before);
    EXPECT_EQ(std::vector<std::string>(journal.begin() + before, journal.end()), want);
    EXPECT_EQ(journal[before - 1], "Board ini=" + ini + " -> 1");
}

}  // namespace
