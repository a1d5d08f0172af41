// The one-operation guard as another copy of the engine meets it. A thread of
// this program that holds the machine-wide mutex without the process's flag
// stands for another process's engine in the middle of an operation: every
// operation is turned away exactly as a second thread of one process is, and
// nothing of the holder is touched. An owner that ends without letting the
// guard go leaves it free for the next one, which writes a note that nothing
// of the ended operation is known to have finished.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bios_save.h"
#include "checked_update.h"
#include "debug_notes.h"
#include "exclusive_operation.h"
#include "file_update_exports.h"
#include "flow_fixture.h"
#include "flow_messages.h"
#include "test_images.h"
#include "update_flow.h"
#include "update_manager.h"

namespace {

using namespace test_images;

constexpr DWORD kHandshakeMs = 30000;

// Holds the engine's machine-wide mutex on a thread of its own, as another
// process's engine would: taken once started, kept until End(), then let go
// or (abandon) left behind by a thread that simply ends.
class GuardHolder {
public:
    ~GuardHolder() { End(false); }

    bool Take() {
        thread_ = std::thread([this] {
            HANDLE guard = CreateMutexA(nullptr, FALSE, kOperationGuardName);
            const DWORD taken = guard != nullptr ? WaitForSingleObject(guard, 0) : WAIT_FAILED;
            owned_ = taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED;
            SetEvent(held_);
            WaitForSingleObject(end_, kHandshakeMs);
            if (owned_ && !abandon_) ReleaseMutex(guard);
            if (guard != nullptr) CloseHandle(guard);
        });
        return WaitForSingleObject(held_, kHandshakeMs) == WAIT_OBJECT_0 && owned_;
    }

    void End(bool abandon) {
        if (!thread_.joinable()) return;
        abandon_ = abandon;
        SetEvent(end_);
        thread_.join();
    }

private:
    HANDLE held_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE end_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> owned_{false};
    std::atomic<bool> abandon_{false};
    std::thread thread_;
};

class OperationGuard : public FlowTest {
protected:
    std::vector<std::string> DriverWork() const {
        return Calls({"W_Flash_Read", "W_Flash_Write", "W_Flash_Write_Ex", "W_Flash_Write_DualBios",
                      "W_Flash_Write_BackupBios", "IsUtilityActive"});
    }
};

TEST_F(OperationGuard, EveryOperationIsTurnedAwayWhileAnotherCopyOfTheEngineHoldsTheGuard) {
    const std::string busy_box = vossel::kMsgOperationRunning.text;
    struct Case {
        const char* name;
        int bios_type;
        const char* board_part;
        std::function<std::vector<uint8_t>()> image;
        std::function<int(const std::string& image, const std::string& target)> call;
        int result;
        std::vector<std::string> boxes;
        bool again;  // once the guard is free the same call gets in (the update manager would need a server)
    };
    const auto award = [] { return AwardImage(k1M, "6A69VN01"); };
    const auto uefi = [] { return UefiImage(k1M, "8B22QW07"); };
    const std::vector<Case> cases = {
        {"FlashBIOS from a file", 1, "6A69VN01", award,
         [](const std::string& image, const std::string&) { return FlashBIOS(kSourceGivenFile, image.c_str(), 1, 0, 0); },
         0, {busy_box}, true},
        {"FlashBIOS from memory", 1, "6A69VN01", award,
         [](const std::string& image, const std::string&) {
             const std::string bytes = ReadFileBytes(image);
             return FlashBIOS(kSourceMemory, bytes.data(), 1, 0, k1M);
         },
         0, {busy_box}, true},
        {"SaveBIOS", 1, "6A69VN01", award,
         [](const std::string&, const std::string& target) { return SaveBIOS(1, target.c_str()); }, 0, {busy_box}, true},
        {"SaveBiosEx", 1, "6A69VN01", award,
         [](const std::string&, const std::string& target) { return int{SaveBiosEx(0, target.c_str())}; },
         kSaveExReadFailed, {}, true},
        {"UpdateBiosByUpdateManager", 1, "6A69VN01", award,
         [](const std::string&, const std::string&) { return UpdateBiosByUpdateManager(); }, kUpdateBusy, {},
         false},
        {"CheckBiosImage", 1, "6A69VN01", award,
         [](const std::string& image, const std::string&) {
             VosselImageCheck check = {};
             check.size = sizeof check;
             const int result = CheckBiosImage(image.c_str(), &check);
             // A refusal for any other reason than the running operation
             // counts as another result.
             const bool busy = check.failedCheck == kCheckBusy &&
                               std::string(check.message) == vossel::kMsgOperationRunning.text;
             return result == 0 && !busy ? -2 : result;
         },
         0, {}, true},
        {"VerifyBiosImage", 1, "6A69VN01", award,
         [](const std::string& image, const std::string&) {
             unsigned difference = 0;
             return VerifyBiosImage(image.c_str(), &difference);
         },
         -1, {}, true},
        {"FlashBiosEx", 3, "8B22QW07", uefi,
         [](const std::string& image, const std::string&) {
             return int{FlashBiosEx(kSourceGivenFile, image.c_str(), 1, 0, 0)};
         },
         kFileUpdateNotWritten, {}, true},
        {"FlashBiosEx1", 3, "8B22QW07", uefi,
         [](const std::string& image, const std::string&) {
             return int{FlashBiosEx1(kSourceGivenFile, image.c_str(), 1, 0, 0, kWriteKindMain)};
         },
         kFileUpdateNotWritten, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(k1M, c.bios_type, c.board_part, {{"Board", {{"UtilityPermission", "2"}}}});
        const std::string image = LayImage(c.image());
        const std::string target = temp_.File("saved.bin");
        DeleteFileA(target.c_str());
        GuardHolder holder;
        ASSERT_TRUE(holder.Take());

        EXPECT_EQ(c.call(image, target), c.result);
        EXPECT_EQ(boxes_.Texts(), c.boxes);
        EXPECT_EQ(DriverWork(), std::vector<std::string>{}) << "the part is not touched";
        EXPECT_EQ(Part(), OldPart());
        EXPECT_TRUE(ReadFileBytes(target).empty());
        EXPECT_FALSE(Engine.OperationRunning.load()) << "a refusal keeps nothing of the guard";
        EXPECT_FALSE(GuardFreeForAnotherThread()) << "the holder keeps it";

        // Once the other copy has let go, the same call gets in.
        holder.End(false);
        EXPECT_TRUE(GuardFreeForAnotherThread());
        if (!c.again) continue;
        ClearRecords();
        EXPECT_NE(c.call(image, target), c.result);
        EXPECT_NE(boxes_.Texts(), std::vector<std::string>{busy_box});
        EXPECT_FALSE(Engine.OperationRunning.load());
        EXPECT_TRUE(GuardFreeForAnotherThread());
    }
}

TEST_F(OperationGuard, AGuardWhoseOwnerEndedIsFreeAndTheNextOwnerIsTold) {
    StartBoard(k1M, 1, "6A69VN01");
    const std::string image = LayImage(AwardImage(k1M, "6A69VN01"));
    GuardHolder holder;
    ASSERT_TRUE(holder.Take());
    holder.End(true);  // its thread ends without letting the guard go

    DebugNotes notes;
    EXPECT_EQ(FlashBIOS(kSourceGivenFile, image.c_str(), 1, 0, 0), 1);
    EXPECT_EQ(Part(), ReadFileBytes(image));
    ASSERT_EQ(notes.Notes().size(), 1u);
    EXPECT_NE(notes.Notes()[0].find("ended without finishing"), std::string::npos) << notes.Notes()[0];
    EXPECT_TRUE(GuardFreeForAnotherThread());

    // The next owner finds the guard let go in order: no note.
    EXPECT_EQ(SaveBiosEx(0, temp_.File("saved.bin").c_str()), kSaveExWritten);
    EXPECT_EQ(ReadFileBytes(temp_.File("saved.bin")), ReadFileBytes(image));
    EXPECT_EQ(notes.Notes().size(), 1u);
}

}  // namespace
