// Reads and writes of the simulated flash parts: what lands in the content
// files, the DMI data pool, the dual-BIOS parts and the refusals.
#include "flashsim_fixture.h"

#include <algorithm>
#include <functional>
#include <memory>

namespace {

constexpr unsigned kSize = 0x10000;  // small parts keep the tests quick
constexpr unsigned kDmiOffset = 0x8000;
constexpr unsigned kDmiLength = 0x1000;

class FlashContentTest : public FlashSimTest {
protected:
    void UseDualBoard(const char* biosType = "1") {
        UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}},
                  {"Bios", {{"BiosType", biosType}}},
                  {"Board", {{"DualBios", "1"}, {"EnlPresent", "1"}}}});
    }
    Bytes Main() const { return FileBytes("flashsim.bin"); }
    Bytes Backup() const { return FileBytes("flashsim_backup.bin"); }
};

TEST_F(FlashContentTest, AWrittenImageLandsInTheContentFileAndIsReadBack) {
    UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}}});
    struct Case {
        const char* function;
        std::function<int(unsigned char*, unsigned)> write;
    };
    const Case cases[] = {
        {"W_Flash_Write", [&](unsigned char* image, unsigned length) { return driver_.W_Flash_Write(image, length, 1); }},
        {"W_Flash_Write_Ex", [&](unsigned char* image, unsigned length) {
             return driver_.W_Flash_Write_Ex(image, length, 0, 1);
         }},
    };
    unsigned seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        Bytes image = Pattern(kSize, seed++);
        ASSERT_EQ(c.write(image.data(), kSize), 1) << LastError();
        EXPECT_EQ(Main(), image);
        EXPECT_EQ(ReadFlash(kSize), image);
    }

    // Content changed behind the driver's back is what the next read sees.
    const Bytes outside = Pattern(kSize, 99);
    SetFileBytes("flashsim.bin", outside);
    EXPECT_EQ(ReadFlash(kSize), outside);
}

TEST_F(FlashContentTest, AReadNeedsRoomForTheWholePart) {
    UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}}});
    Bytes buffer(kSize, 0xEE);
    unsigned count = kSize - 1;
    EXPECT_EQ(driver_.W_Flash_Read(buffer.data(), &count), 0);
    EXPECT_EQ(count, kSize - 1);
    EXPECT_EQ(buffer, Bytes(kSize, 0xEE));
    EXPECT_NE(LastError().find("cannot take"), std::string::npos) << LastError();
    EXPECT_EQ(driver_.W_Flash_Read(buffer.data(), nullptr), 0);
    count = kSize;
    EXPECT_EQ(driver_.W_Flash_Read(nullptr, &count), 0);
    EXPECT_EQ(driver_.W_Flash_Read(buffer.data(), &count), 1) << "exactly the part's size is enough";
}

TEST_F(FlashContentTest, KeepDmiKeepsTheOldPoolAndClearingItLeavesItErased) {
    struct Case {
        int keepDmi;
        bool kept;
    };
    const Case cases[] = {{1, true}, {0, false}, {2, true}};
    UseBoard({{"Flash",
               {{"FlashSize", std::to_string(kSize)},
                {"DmiOffset", std::to_string(kDmiOffset)},
                {"DmiLength", std::to_string(kDmiLength)}}},
              {"Board", {{"DualBios", "1"}}}});
    for (const Case& c : cases) {
        SCOPED_TRACE("keepDmi " + std::to_string(c.keepDmi));
        const Bytes old = Pattern(kSize, 10);
        const Bytes image = Pattern(kSize, 20);
        Bytes want = image;
        std::fill(want.begin() + kDmiOffset, want.begin() + kDmiOffset + kDmiLength, 0xFF);
        if (c.kept) {
            std::copy(old.begin() + kDmiOffset, old.begin() + kDmiOffset + kDmiLength, want.begin() + kDmiOffset);
        }
        Bytes writable = image;

        SetFileBytes("flashsim.bin", old);
        ASSERT_EQ(driver_.W_Flash_Write(writable.data(), kSize, c.keepDmi), 1) << LastError();
        EXPECT_EQ(Main(), want);

        // Both parts of a dual write keep their own pools.
        const Bytes oldBackup = Pattern(kSize, 30);
        SetFileBytes("flashsim.bin", old);
        SetFileBytes("flashsim_backup.bin", oldBackup);
        ASSERT_EQ(driver_.W_Flash_Write_DualBios(writable.data(), kSize, c.keepDmi), 1) << LastError();
        EXPECT_EQ(Main(), want);
        Bytes wantBackup = want;
        if (c.kept) {
            std::copy(oldBackup.begin() + kDmiOffset, oldBackup.begin() + kDmiOffset + kDmiLength,
                      wantBackup.begin() + kDmiOffset);
        }
        EXPECT_EQ(Backup(), wantBackup);
        EXPECT_EQ(writable, image) << "the caller's image is not changed";
    }
}

TEST_F(FlashContentTest, TheSelectorChoosesThePartThatReadsAndWritesAddress) {
    UseDualBoard();
    const Bytes erased(kSize, 0xFF);
    Bytes a = Pattern(kSize, 1), b = Pattern(kSize, 2), c = Pattern(kSize, 3);

    EXPECT_EQ(driver_.ChangeDualBiosExport(1), 1);
    ASSERT_EQ(driver_.W_Flash_Write(a.data(), kSize, 1), 1) << LastError();
    EXPECT_EQ(Backup(), a);
    EXPECT_EQ(Main(), erased);
    EXPECT_EQ(ReadFlash(kSize), a);

    EXPECT_EQ(driver_.ChangeDualBiosExport(0), 0);
    EXPECT_EQ(ReadFlash(kSize), erased);
    ASSERT_EQ(driver_.W_Flash_Write_BackupBios(b.data(), kSize, 1), 1) << LastError();
    EXPECT_EQ(Backup(), b) << "the backup part whatever the selector";
    EXPECT_EQ(Main(), erased);

    ASSERT_EQ(driver_.W_Flash_Write_DualBios(c.data(), kSize, 1), 1) << LastError();
    EXPECT_EQ(Main(), c);
    EXPECT_EQ(Backup(), c);

    // Selectors other than 0 and 1 change nothing and report the one in force.
    EXPECT_EQ(driver_.ChangeDualBiosExport(1), 1);
    EXPECT_EQ(driver_.ChangeDualBiosExport(2), 1);
    EXPECT_EQ(driver_.ChangeDualBiosExport(0x100), 1) << "no truncation to 8 bits";
    EXPECT_EQ(driver_.ChangeDualBiosExport(0xFFFFFFFFu), 1);
    EXPECT_EQ(ReadFlash(kSize), c);

    ASSERT_EQ(driver_.FlashSim_LoadBoard(nullptr), 1);
    EXPECT_EQ(driver_.ChangeDualBiosExport(7), 0) << "a reloaded board starts on its main part";
}

TEST_F(FlashContentTest, AnAwardImageGoesOnBothPartsOfAUefiBoardOneAfterTheOther) {
    UseDualBoard("3");
    Bytes image = Pattern(kSize, 5);
    ASSERT_EQ(driver_.W_Flash_Write_Ex(image.data(), kSize, 1, 2), 1) << LastError();
    EXPECT_EQ(Main(), image);
    EXPECT_EQ(Backup(), Bytes(kSize, 0xFF));
    ASSERT_EQ(driver_.ChangeDualBiosExport(1), 1);
    ASSERT_EQ(driver_.W_Flash_Write_Ex(image.data(), kSize, 1, 2), 1) << LastError();
    EXPECT_EQ(Backup(), image);
    EXPECT_EQ(driver_.ChangeDualBiosExport(0), 0);
}

TEST_F(FlashContentTest, ABoardWithOneBiosHasNoBackupPart) {
    UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}}});
    Bytes image = Pattern(kSize, 1);
    EXPECT_EQ(driver_.IsDualBiosSupported(), 0);
    EXPECT_EQ(driver_.ChangeDualBiosExport(1), 0) << "stays on the only part";
    EXPECT_EQ(driver_.W_Flash_Write_BackupBios(image.data(), kSize, 1), 0);
    EXPECT_NE(LastError().find("no backup part"), std::string::npos) << LastError();
    EXPECT_EQ(driver_.W_Flash_Write_DualBios(image.data(), kSize, 1), 0);
    EXPECT_EQ(Main(), Bytes(kSize, 0xFF)) << "a refused dual write touches no part";
    EXPECT_EQ(driver_.W_Flash_Write(image.data(), kSize, 1), 1);
    EXPECT_EQ(Main(), image);
}

TEST_F(FlashContentTest, WritesOfAnyOtherLengthThanThePartsSizeAreRefused) {
    UseDualBoard();
    Bytes image = Pattern(kSize * 2, 1);
    const unsigned lengths[] = {0, kSize - 1, kSize + 1, kSize / 2, kSize * 2};
    struct Writer {
        const char* function;
        std::function<int(unsigned)> write;
    };
    const Writer writers[] = {
        {"W_Flash_Write", [&](unsigned length) { return driver_.W_Flash_Write(image.data(), length, 1); }},
        {"W_Flash_Write_DualBios", [&](unsigned length) { return driver_.W_Flash_Write_DualBios(image.data(), length, 1); }},
        {"W_Flash_Write_BackupBios",
         [&](unsigned length) { return driver_.W_Flash_Write_BackupBios(image.data(), length, 1); }},
        {"W_Flash_Write_Ex", [&](unsigned length) { return driver_.W_Flash_Write_Ex(image.data(), length, 1, 1); }},
    };
    for (const Writer& w : writers) {
        for (unsigned length : lengths) {
            SCOPED_TRACE(std::string(w.function) + " length " + std::to_string(length));
            EXPECT_EQ(w.write(length), 0);
            EXPECT_NE(LastError().find("length " + std::to_string(length) + " is not the flash part's size"),
                      std::string::npos)
                << LastError();
        }
    }
    EXPECT_EQ(driver_.W_Flash_Write(nullptr, kSize, 1), 0);
    EXPECT_EQ(Main(), Bytes(kSize, 0xFF));
    EXPECT_EQ(Backup(), Bytes(kSize, 0xFF));
}

// One stretch of a part as a test expects it after a write.
struct Span {
    enum Source { kOld, kImage, kErased };
    unsigned begin, end;  // in the part
    Source source;        // kOld: the part's old bytes at the same place
    unsigned imageAt;     // kImage: the image's offset of the byte at begin
};

Bytes Expected(const std::vector<Span>& spans, const Bytes& old, const Bytes& image) {
    Bytes part(kSize, 0x00);
    for (const Span& s : spans) {
        for (unsigned i = s.begin; i < s.end; ++i) {
            part[i] = s.source == Span::kOld ? old[i] : s.source == Span::kImage ? image[s.imageAt + i - s.begin] : 0xFF;
        }
    }
    return part;
}

TEST_F(FlashContentTest, SizeAdaptedWritesFillTheUpperHalfOrTakeTheImagesUpperHalf) {
    constexpr unsigned kHalf = kSize / 2;
    constexpr unsigned kPool = 0x800;  // the DMI pool below straddles the middle of the part by this much
    struct Case {
        const char* what;
        const char* sizeAdapted;
        unsigned length;
        bool dmiPool;
        int keepDmi;
        int result;
        std::vector<Span> want;
    };
    const std::vector<Span> untouched = {{0, kSize, Span::kOld, 0}};
    const std::vector<Span> whole = {{0, kSize, Span::kImage, 0}};
    const Case cases[] = {
        {"exact, key off", "0", kSize, false, 1, 1, whole},
        {"half, key off", "0", kHalf, false, 1, 0, untouched},
        {"double, key off", "0", 2 * kSize, false, 1, 0, untouched},
        {"exact", "1", kSize, false, 1, 1, whole},
        {"half", "1", kHalf, false, 1, 1, {{0, kHalf, Span::kOld, 0}, {kHalf, kSize, Span::kImage, 0}}},
        {"half, the first half given", "top", kHalf, false, 1, 1,
         {{0, kHalf, Span::kOld, 0}, {kHalf, kSize, Span::kImage, 0}}},
        {"half, the second half of twice the length given", "upper", kHalf, false, 1, 1,
         {{0, kHalf, Span::kOld, 0}, {kHalf, kSize, Span::kImage, kHalf}}},
        {"half, twice the length given over the whole part", "whole", kHalf, false, 1, 1, whole},
        {"double, whole", "whole", 2 * kSize, false, 1, 1, {{0, kSize, Span::kImage, kSize}}},
        {"double", "1", 2 * kSize, false, 1, 1, {{0, kSize, Span::kImage, kSize}}},
        {"half less one", "1", kHalf - 1, false, 1, 0, untouched},
        {"half and one", "1", kHalf + 1, false, 1, 0, untouched},
        {"double less one", "1", 2 * kSize - 1, false, 1, 0, untouched},
        {"double and one", "1", 2 * kSize + 1, false, 1, 0, untouched},
        {"half keeping the pool",
         "1", kHalf, true, 1, 1,
         {{0, kHalf + kPool, Span::kOld, 0}, {kHalf + kPool, kSize, Span::kImage, kPool}}},
        {"half clearing the pool: only its bytes in the upper half are erased",
         "1", kHalf, true, 0, 1,
         {{0, kHalf, Span::kOld, 0}, {kHalf, kHalf + kPool, Span::kErased, 0}, {kHalf + kPool, kSize, Span::kImage, kPool}}},
        {"double keeping the pool",
         "1", 2 * kSize, true, 1, 1,
         {{0, kHalf - kPool, Span::kImage, kSize},
          {kHalf - kPool, kHalf + kPool, Span::kOld, 0},
          {kHalf + kPool, kSize, Span::kImage, kSize + kHalf + kPool}}},
        {"double clearing the pool",
         "1", 2 * kSize, true, 0, 1,
         {{0, kHalf - kPool, Span::kImage, kSize},
          {kHalf - kPool, kHalf + kPool, Span::kErased, 0},
          {kHalf + kPool, kSize, Span::kImage, kSize + kHalf + kPool}}},
    };
    Bytes image = Pattern(2 * kSize + 1, 40);
    const Bytes oldMain = Pattern(kSize, 41);
    const Bytes oldBackup = Pattern(kSize, 42);
    struct Writer {
        const char* function;
        bool main, backup;  // the parts it writes
        std::function<int(unsigned, int)> write;
    };
    const Writer writers[] = {
        {"W_Flash_Write", true, false, [&](unsigned length, int keep) { return driver_.W_Flash_Write(image.data(), length, keep); }},
        {"W_Flash_Write_Ex", true, false,
         [&](unsigned length, int keep) { return driver_.W_Flash_Write_Ex(image.data(), length, keep, 1); }},
        {"W_Flash_Write_DualBios", true, true,
         [&](unsigned length, int keep) { return driver_.W_Flash_Write_DualBios(image.data(), length, keep); }},
        {"W_Flash_Write_BackupBios", false, true,
         [&](unsigned length, int keep) { return driver_.W_Flash_Write_BackupBios(image.data(), length, keep); }},
    };
    for (const Case& c : cases) {
        BoardFile board = {{"Flash", {{"FlashSize", std::to_string(kSize)}, {"SizeAdaptedWrites", c.sizeAdapted}}},
                           {"Board", {{"DualBios", "1"}}}};
        if (c.dmiPool) {
            board["Flash"]["DmiOffset"] = std::to_string(kHalf - kPool);
            board["Flash"]["DmiLength"] = std::to_string(2 * kPool);
        }
        UseBoard(board);
        for (const Writer& w : writers) {
            SCOPED_TRACE(std::string(c.what) + ", " + w.function);
            SetFileBytes("flashsim.bin", oldMain);
            SetFileBytes("flashsim_backup.bin", oldBackup);
            EXPECT_EQ(w.write(c.length, c.keepDmi), c.result) << LastError();
            if (c.result == 0) {
                EXPECT_NE(LastError().find("is not the flash part's size"), std::string::npos) << LastError();
            }
            EXPECT_EQ(Main(), w.main ? Expected(c.want, oldMain, image) : oldMain);
            EXPECT_EQ(Backup(), w.backup ? Expected(c.want, oldBackup, image) : oldBackup);
        }
    }
}

TEST_F(FlashContentTest, NothingIsTakenFromOrPutBeyondTheCallersAllocation) {
    constexpr unsigned kHalf = kSize / 2;
    struct Case {
        const char* reading;
        unsigned allocated;  // bytes of the caller's heap block
        unsigned length;     // the length the write is given
        int result;
    };
    const Case cases[] = {
        {"top", kHalf, kHalf, 1},          {"upper", kHalf, kHalf, 0},   {"whole", kHalf, kHalf, 0},
        {"upper", kSize, kHalf, 1},        {"whole", kSize, kHalf, 1},   {"0", kSize - 0x100, kSize, 0},
        {"top", 2 * kSize - 0x100, 2 * kSize, 0},
    };
    const Bytes old = Pattern(kSize, 51);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.reading) + ", " + std::to_string(c.allocated) + " bytes allocated, length " +
                     std::to_string(c.length));
        UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}, {"SizeAdaptedWrites", c.reading}}}});
        SetFileBytes("flashsim.bin", old);
        const std::unique_ptr<unsigned char[]> buffer(new unsigned char[c.allocated]);
        std::fill(buffer.get(), buffer.get() + c.allocated, 0x5A);

        const size_t earlier = JournalLines().size();

        EXPECT_EQ(driver_.W_Flash_Write(buffer.get(), c.length, 1), c.result) << LastError();

        const std::vector<std::string> journal = JournalLines();
        const bool journalled = std::any_of(journal.begin() + earlier, journal.end(), [](const std::string& line) {
            return line.rfind("W_Flash_Write outside its buffer: would read bytes 0 to ", 0) == 0;
        });
        EXPECT_EQ(journalled, c.result == 0);
        if (c.result == 0) {
            EXPECT_NE(LastError().find("outside its buffer"), std::string::npos) << LastError();
            EXPECT_EQ(Main(), old);
        }
    }

    // A read fills no more than the buffer it is given holds, whatever the count claims.
    UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}}});
    const std::unique_ptr<unsigned char[]> half(new unsigned char[kHalf]);
    unsigned count = kSize;
    EXPECT_EQ(driver_.W_Flash_Read(half.get(), &count), 0);
    EXPECT_EQ(count, kSize);
    EXPECT_NE(LastError().find("W_Flash_Read: outside its buffer: would fill bytes 0 to 65536"), std::string::npos)
        << LastError();
}

TEST_F(FlashContentTest, AShortReadDeliversHalfThePartAndCallsItASuccess) {
    struct Case {
        const char* kind;
        unsigned count;  // what the read reports
        bool zeroTail;   // the rest of the buffer is zeros; else untouched
    };
    const Case cases[] = {{"0", kSize, false}, {"count", kSize / 2, false}, {"zeros", kSize, true}};
    const Bytes part = Pattern(kSize, 61);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}, {"ShortReads", c.kind}}}});
        SetFileBytes("flashsim.bin", part);
        Bytes buffer(kSize + 1, 0xEE);
        unsigned count = kSize + 1;
        ASSERT_EQ(driver_.W_Flash_Read(buffer.data(), &count), 1) << LastError();
        EXPECT_EQ(count, c.count);
        Bytes want(part.begin(), part.end());
        if (std::string(c.kind) != "0") {
            std::fill(want.begin() + kSize / 2, want.end(), c.zeroTail ? 0x00 : 0xEE);
        }
        want.push_back(0xEE);
        EXPECT_EQ(buffer, want);
    }
}

TEST_F(FlashContentTest, TheKindOfAnExWriteMustFitTheBoard) {
    struct Case {
        const char* biosType;
        int kind;
        int result;
    };
    const Case cases[] = {
        {"1", 1, 1},  // UEFI image on an Award board
        {"3", 2, 1},  // Award image on a UEFI board
        {"1", 2, 0}, {"3", 1, 0}, {"2", 1, 0}, {"2", 2, 0}, {"1", 0, 0}, {"1", 3, 0}, {"3", -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("BIOS type ") + c.biosType + " kind " + std::to_string(c.kind));
        UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}}, {"Bios", {{"BiosType", c.biosType}}}});
        SetFileBytes("flashsim.bin", Bytes(kSize, 0xFF));
        Bytes image = Pattern(kSize, 8);
        EXPECT_EQ(driver_.W_Flash_Write_Ex(image.data(), kSize, 1, c.kind), c.result) << LastError();
        EXPECT_EQ(Main(), c.result == 1 ? image : Bytes(kSize, 0xFF));
    }
}

TEST_F(FlashContentTest, AnInjectedFailureRefusesThatFunctionAlone) {
    const char* const names[] = {"W_Get_Flash_Info",     "W_Get_Bios_Info",        "W_Flash_Read",
                                 "W_Flash_Write",        "W_Flash_Write_DualBios", "W_Flash_Write_BackupBios",
                                 "W_Flash_Write_Ex",     "W_Get_Progress_Status",  "W_Support_ENL",
                                 "W_Enable_ENL",         "Load_CMOS_Default",      "IsUtilityActive",
                                 "IsDualBiosSupported",  "ChangeDualBiosExport",   "EpCheckOemid"};
    for (size_t failing = 0; failing < 15; ++failing) {
        SCOPED_TRACE(names[failing]);
        // A board on which every function, called as below, succeeds.
        UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}},
                  {"Board", {{"DualBios", "1"}, {"EnlPresent", "1"}}},
                  {"Fail", {{names[failing], "1"}}}});
        Bytes record(200), buffer(kSize + 1), image = Pattern(kSize, 4);
        unsigned count = kSize + 1;
        unsigned char present = 0, active = 0, permission = 0;
        int status = 0, percent = 0;
        const std::vector<int> results = {
            driver_.W_Get_Flash_Info(record.data(), kFlashInfoSize),
            driver_.W_Get_Bios_Info(record.data(), kBiosInfoSize),
            driver_.W_Flash_Read(buffer.data(), &count),
            driver_.W_Flash_Write(image.data(), kSize, 1),
            driver_.W_Flash_Write_DualBios(image.data(), kSize, 1),
            driver_.W_Flash_Write_BackupBios(image.data(), kSize, 1),
            driver_.W_Flash_Write_Ex(image.data(), kSize, 1, 1),
            driver_.W_Get_Progress_Status(&status, &percent),
            driver_.W_Support_ENL(&present, &active),
            driver_.W_Enable_ENL(0),
            driver_.Load_CMOS_Default(),
            driver_.IsUtilityActive(image.data(), kSize, &permission),
            driver_.IsDualBiosSupported(),
            driver_.ChangeDualBiosExport(1),
            driver_.EpCheckOemid(1, 2),
        };
        for (size_t call = 0; call < results.size(); ++call) {
            if (call == failing) {
                EXPECT_EQ(results[call], 0);
            } else {
                EXPECT_NE(results[call], 0) << names[call] << " must not fail";
            }
        }
        EXPECT_NE(LastError().find(std::string(names[failing]) + " fails as the board's [Fail] section asks"),
                  std::string::npos)
            << LastError();
    }
}

TEST_F(FlashContentTest, AFailingFunctionHasNoEffect) {
    UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}},
              {"Board", {{"DualBios", "1"}, {"EnlPresent", "1"}, {"EnlActive", "1"}}},
              {"Fail",
               {{"W_Flash_Write", "1"},
                {"W_Flash_Write_DualBios", "1"},
                {"W_Flash_Read", "1"},
                {"W_Get_Progress_Status", "1"},
                {"W_Enable_ENL", "1"},
                {"ChangeDualBiosExport", "1"},
                {"IsUtilityActive", "1"}}}});
    Bytes image = Pattern(kSize, 4);
    EXPECT_EQ(driver_.W_Flash_Write(image.data(), kSize, 1), 0);
    EXPECT_EQ(driver_.W_Flash_Write_DualBios(image.data(), kSize, 1), 0);
    EXPECT_EQ(Main(), Bytes(kSize, 0xFF));
    EXPECT_EQ(Backup(), Bytes(kSize, 0xFF));

    Bytes buffer(kSize + 1, 0xEE);
    unsigned count = kSize + 1;
    EXPECT_EQ(driver_.W_Flash_Read(buffer.data(), &count), 0);
    EXPECT_EQ(buffer, Bytes(kSize + 1, 0xEE));
    EXPECT_EQ(count, kSize + 1);

    int status = -1, percent = -1;
    EXPECT_EQ(driver_.W_Get_Progress_Status(&status, &percent), 0);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(percent, -1);

    unsigned char permission = 0xEE;
    EXPECT_EQ(driver_.IsUtilityActive(image.data(), kSize, &permission), 0);
    EXPECT_EQ(permission, 0xEE);

    EXPECT_EQ(driver_.W_Enable_ENL(0), 0);
    unsigned char present = 0, active = 0;
    ASSERT_EQ(driver_.W_Support_ENL(&present, &active), 1);
    EXPECT_EQ(active, 1) << "the saver still runs";

    EXPECT_EQ(driver_.ChangeDualBiosExport(1), 0);
    ASSERT_EQ(driver_.W_Flash_Write_Ex(image.data(), kSize, 1, 1), 1) << LastError();
    EXPECT_EQ(Main(), image) << "still the main part in force";
    EXPECT_EQ(Backup(), Bytes(kSize, 0xFF));
}

}  // namespace

TEST_F(FlashContentTest, AReadOrWriteFailsWhereTheBoardFileSaysAndKeepsWhatItDid) {
    const Bytes image = Pattern(kSize, 4);
    const Bytes old = Pattern(kSize, 5);
    const unsigned half = kSize / 2;
    struct Case {
        const char* status;
        const char* percent;
        bool read;       // a read, else a write
        Bytes expected;  // the part afterwards
    };
    const Bytes erased_half = [&] {
        Bytes bytes(old);
        std::fill(bytes.begin(), bytes.begin() + half, 0xFF);
        return bytes;
    }();
    const Bytes written_half = [&] {
        Bytes bytes(kSize, 0xFF);
        std::copy(image.begin(), image.begin() + half, bytes.begin());
        return bytes;
    }();
    const Case cases[] = {
        {"2", "50", true, old},
        {"4", "50", false, erased_half},
        {"3", "50", false, written_half},
        {"3", "0", false, Bytes(kSize, 0xFF)},
        {"6", "100", false, image},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("status ") + c.status + " percent " + c.percent);
        UseBoard({{"Flash", {{"FlashSize", std::to_string(kSize)}}},
                  {"Fail", {{"AtStatus", c.status}, {"AtPercent", c.percent}}}});
        SetFileBytes("flashsim.bin", old);
        Bytes buffer(kSize + 1, 0xEE);
        unsigned count = kSize + 1;
        const int result = c.read ? driver_.W_Flash_Read(buffer.data(), &count)
                                  : driver_.W_Flash_Write(const_cast<unsigned char*>(image.data()), kSize, 1);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(Main(), c.expected);
        if (c.read) EXPECT_EQ(count, kSize + 1u) << "a failed read reports no count";
        EXPECT_NE(LastError().find(std::string("fails at status=") + c.status + " percent=" + c.percent),
                  std::string::npos)
            << LastError();
        // Another phase's figures do not fail.
        ASSERT_EQ(c.read ? driver_.W_Flash_Write(const_cast<unsigned char*>(image.data()), kSize, 1)
                         : 1,
                  1);
    }
}
