// The small exports: record copies bounded by the caller's size, the extended
// getters, the progress pollers and the calls passed on to the driver.
#include <atomic>
#include <cstring>
#include <thread>

#include "engine_fixture.h"
#include "info_exports.h"
#include "records.h"

namespace {

class InfoExports : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(StartOnBoard({{"Flash", {{"FlashSize", "0x200000"}, {"FlashType", "W25Q16 (simulated)"}}},
                                  {"Bios",
                                   {{"BiosType", "1"},
                                    {"BiosPartNumber", "3K41ZT02"},
                                    {"SignOnMessage", "NORVANE 3K41ZT02 Award BIOS F7"}}},
                                  {"Board",
                                   {{"DualBios", "1"}, {"LoadCmosDefault", "5"}, {"EpCheckOemid", "9"}}}}));
    }
};

constexpr unsigned char kUntouched = 0xA5;

TEST_F(InfoExports, RecordCopiesWriteExactlyTheRecordAndOnlyWhenTheBufferHoldsIt) {
    struct Case {
        const char* name;
        void(__cdecl* get)(void*, unsigned);
        const void* record;
        unsigned record_size;
        unsigned size;
    };
    const Case cases[] = {
        {"flash 61", Get_Flash_Info, &Engine.CurrentFlash, 62, 61},
        {"flash 62", Get_Flash_Info, &Engine.CurrentFlash, 62, 62},
        {"flash 200", Get_Flash_Info, &Engine.CurrentFlash, 62, 200},
        {"flash 0", Get_Flash_Info, &Engine.CurrentFlash, 62, 0},
        {"bios 93", Get_Bios_Info, &Engine.CurrentBios, 94, 93},
        {"bios 94", Get_Bios_Info, &Engine.CurrentBios, 94, 94},
        {"bios 200", Get_Bios_Info, &Engine.CurrentBios, 94, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned char buffer[256];
        std::memset(buffer, kUntouched, sizeof buffer);
        c.get(buffer, c.size);
        const unsigned written = c.size >= c.record_size ? c.record_size : 0;
        EXPECT_EQ(std::memcmp(buffer, c.record, written), 0);
        for (unsigned i = written; i < sizeof buffer; ++i) {
            ASSERT_EQ(buffer[i], kUntouched) << "byte " << i;
        }
    }
    // A missing record is no reason to crash.
    Get_Flash_Info(nullptr, 62);
    Get_Bios_Info(nullptr, 94);
}

TEST_F(InfoExports, ExtendedGettersCopyTheTextsWithTheirTerminators) {
    char sign_on[81];
    char part_number[9];
    char flash_type[44];
    std::memset(sign_on, 'x', sizeof sign_on);
    std::memset(part_number, 'x', sizeof part_number);
    std::memset(flash_type, 'x', sizeof flash_type);
    int bios_type = -1;
    int flash_size = -1;

    Get_Bios_InfoEx(sign_on, part_number, &bios_type);
    Get_Flash_InfoEx(flash_type, &flash_size);

    EXPECT_STREQ(sign_on, "NORVANE 3K41ZT02 Award BIOS F7");
    EXPECT_STREQ(part_number, "3K41ZT02");
    EXPECT_EQ(bios_type, 1);
    EXPECT_STREQ(flash_type, "W25Q16 (simulated)");
    EXPECT_EQ(flash_size, 0x200000);
    EXPECT_EQ(sign_on[std::strlen(sign_on) + 1], 'x') << "nothing past the terminator";

    // FlashSize is reported as it stands at the moment of the call.
    Engine.CurrentFlash.FlashSize = 0x100000;
    Get_Flash_InfoEx(flash_type, &flash_size);
    EXPECT_EQ(flash_size, 0x100000);

    // Null pointers are skipped one by one.
    bios_type = -1;
    Get_Bios_InfoEx(nullptr, nullptr, &bios_type);
    EXPECT_EQ(bios_type, 1);
    Get_Flash_InfoEx(nullptr, nullptr);
}

TEST_F(InfoExports, TextsFillingTheirWholeFieldStayWithinTheCallersBuffer) {
    // A driver that leaves no terminator in a field: the copy stops at the
    // field's last byte, so the caller's buffer of the documented size holds it.
    std::memset(Engine.CurrentBios.SignOnMessage, 'S', sizeof Engine.CurrentBios.SignOnMessage);
    std::memset(Engine.CurrentBios.BiosPartNumber, 'P', sizeof Engine.CurrentBios.BiosPartNumber);
    std::memset(Engine.CurrentFlash.FlashType, 'T', sizeof Engine.CurrentFlash.FlashType);
    char sign_on[81 + 1];
    char part_number[9 + 1];
    char flash_type[44 + 1];
    sign_on[81] = part_number[9] = flash_type[44] = '!';
    int bios_type = 0;
    int flash_size = 0;

    Get_Bios_InfoEx(sign_on, part_number, &bios_type);
    Get_Flash_InfoEx(flash_type, &flash_size);

    EXPECT_EQ(std::string(sign_on), std::string(80, 'S'));
    EXPECT_EQ(std::string(part_number), std::string(8, 'P'));
    EXPECT_EQ(std::string(flash_type), std::string(43, 'T'));
    EXPECT_EQ(sign_on[81], '!');
    EXPECT_EQ(part_number[9], '!');
    EXPECT_EQ(flash_type[44], '!');
}

TEST_F(InfoExports, ProgressPollsTheDriverEvenWithNowhereToReport) {
    const size_t before = JournalCount("W_Get_Progress_Status");
    Get_Progress_Status(nullptr, nullptr, nullptr);
    EXPECT_EQ(JournalCount("W_Get_Progress_Status"), before + 1);

    int status = -1, percent = -1, busy = -1;
    Engine.Busy = 1;
    Get_Progress_Status(&status, &percent, &busy);
    EXPECT_EQ(JournalCount("W_Get_Progress_Status"), before + 2);
    EXPECT_EQ(status, 0);  // the idle driver
    EXPECT_EQ(percent, 100);
    EXPECT_EQ(busy, 1);
    Engine.Busy = 0;
}

TEST_F(InfoExports, WhileTheEngineDrivesProgressTheDriverIsNotPolled) {
    // Last figures from the driver, then the engine takes over (a download).
    Engine.ProgressStatus = kStatusWriting;
    Engine.OwnProgress = 1;
    Engine.ProgressPercent = 42;
    const size_t before = JournalCount("W_Get_Progress_Status");

    int status = -1, percent = -1, busy = -1;
    Get_Progress_Status(&status, &percent, &busy);
    EXPECT_EQ(status, kStatusWriting) << "the status the driver reported last";
    EXPECT_EQ(percent, 42);

    int hub_status = -1, hub_percent = -1;
    GetProgressStatusForHubrix(&hub_status, &hub_percent);
    EXPECT_EQ(hub_status, kStatusSaving);
    EXPECT_EQ(hub_percent, 42);

    EXPECT_EQ(JournalCount("W_Get_Progress_Status"), before);
}

TEST_F(InfoExports, ProgressReportsTheDriversPhaseWhileAWriteRunsOnAnotherThread) {
    std::string image(0x200000, '\x5A');
    sim_.FlashSim_HoldAt(kStatusWriting, 50);
    std::atomic<int> write_result{-1};
    std::thread writer([&] {
        write_result = Engine.FlashDriver.W_Flash_Write(reinterpret_cast<unsigned char*>(image.data()),
                                                        static_cast<unsigned>(image.size()), 1);
    });
    const bool held = sim_.FlashSim_WaitHeld(20000) == 1;
    int status = -1, percent = -1, busy = -1;
    int hub_status = -1, hub_percent = -1;
    if (held) {
        Get_Progress_Status(&status, &percent, &busy);
        GetProgressStatusForHubrix(&hub_status, &hub_percent);
    }
    sim_.FlashSim_Release();
    writer.join();

    ASSERT_TRUE(held) << "the write reached 50 % of its writing phase";
    EXPECT_EQ(status, kStatusWriting);
    EXPECT_EQ(percent, 50);
    EXPECT_EQ(hub_status, kStatusWriting);
    EXPECT_EQ(hub_percent, 50);
    EXPECT_EQ(write_result, 1);
    Get_Progress_Status(&status, &percent, nullptr);
    EXPECT_EQ(status, 0) << "idle again";
}

TEST_F(InfoExports, DriverCallsArePassedOnWithTheirArgumentsAndResults) {
    EXPECT_EQ(LoadCMOSDefault(), 5);
    EXPECT_EQ(IsDualBiosSupported(), 1);
    EXPECT_EQ(CheckOemid(-7, 0x12345678), 9);
    EXPECT_EQ(ChangeDualBiosExport(1) & 0xFF, 1);
    EXPECT_EQ(ChangeDualBiosExport(0) & 0xFF, 0);

    const std::vector<std::string> journal = Journal();
    auto has_line = [&](const std::string& start) {
        for (const std::string& line : journal) {
            if (line.compare(0, start.size(), start) == 0) return true;
        }
        return false;
    };
    EXPECT_TRUE(has_line("EpCheckOemid a=-7 b=305419896")) << "arguments passed unchanged";
    EXPECT_TRUE(has_line("ChangeDualBiosExport selector=1"));
}

TEST_F(InfoExports, TheSelectorIsWidenedWithoutItsSign) {
    // 0xFF as an 8-bit selector reaches the driver as 255, not as -1.
    ChangeDualBiosExport(0xFF);
    const std::vector<std::string> journal = Journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back().rfind("ChangeDualBiosExport selector=255", 0), 0u) << journal.back();
}

TEST_F(InfoExports, AboutDialogShowsNothing) {
    About_Dlg();
    EXPECT_TRUE(boxes_.Shown().empty());
}

}  // namespace
