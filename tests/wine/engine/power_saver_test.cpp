// Check_ENL on the simulated board's power saver, and the privilege calls of
// the restart sequence.
#include <string>
#include <vector>

#include "flow_fixture.h"
#include "power_saver.h"
#include "system_restart.h"

namespace {

constexpr char kQuestion[] =
    "In order to avoid race condition between programs, \nthis program will automatically terminate Enerloom. \n"
    "Do you want to continue ?";

class PowerSaver : public FlowTest {};

TEST_F(PowerSaver, CheckEnlAsksBeforeItEndsARunningPowerSaver) {
    struct Case {
        const char* name;
        BoardFile board;
        int answer;  // to the question, when it is asked
        int result;
        std::vector<std::string> boxes;  // texts, in order
        const char* caption;             // of the last box
        UINT buttons_icon;               // of the last box
        bool stopped;                    // W_Enable_ENL(0) was called and worked
    };
    const BoardFile running = {{"Board", {{"EnlPresent", "1"}, {"EnlActive", "1"}}}};
    BoardFile running_cannot_stop = running;
    running_cannot_stop["Fail"]["W_Enable_ENL"] = "1";
    const std::vector<Case> cases = {
        {"no power saver", {}, IDOK, 1, {}, nullptr, 0, false},
        {"installed, not running", {{"Board", {{"EnlPresent", "1"}}}}, IDOK, 1, {}, nullptr, 0, false},
        {"running, the user agrees", running, IDOK, 1, {kQuestion}, "Message", MB_OKCANCEL | MB_ICONEXCLAMATION,
         true},
        {"running, the user declines", running, IDCANCEL, 0, {kQuestion}, "Message",
         MB_OKCANCEL | MB_ICONEXCLAMATION, false},
        {"running, it cannot be stopped", running_cannot_stop, IDOK, 0, {kQuestion, "Terminate Enerloom failed !"},
         "ERROR", MB_OK, false},
        {"the driver cannot tell", {{"Fail", {{"W_Support_ENL", "1"}}}}, IDOK, 0, {"Check Enerloom failed !"},
         "ERROR", MB_OK, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(0x80000, 1, "6A69VN01", c.board);
        boxes_.Answer({c.answer});
        EXPECT_EQ(Check_ENL(), c.result);
        const std::vector<RecordedMessageBox> shown = boxes_.Shown();
        EXPECT_EQ(boxes_.Texts(), c.boxes);
        if (!shown.empty()) {
            EXPECT_EQ(shown.back().caption, c.caption);
            EXPECT_EQ(shown.back().buttons | shown.back().icon, c.buttons_icon);
            EXPECT_EQ(shown.back().owner, nullptr);
        }
        const std::vector<std::string> stops = Calls({"W_Enable_ENL"});
        EXPECT_EQ(!stops.empty() && stops.back() == "W_Enable_ENL enable=0 -> 1", c.stopped);
        // The power saver runs on unless it was stopped: a second check says so.
        boxes_.Clear();
        boxes_.Answer({IDCANCEL});
        const bool asked_again = Check_ENL() == 0 && !boxes_.Shown().empty() && boxes_.Shown()[0].text == kQuestion;
        EXPECT_EQ(asked_again, c.boxes.size() >= 1 && c.boxes[0] == kQuestion && !c.stopped);
    }
}

TEST(Privileges, TheShutdownPrivilegeIsEnabledAndDisabledByName) {
    ASSERT_EQ(EnablePrivilege("SeShutdownPrivilege"), 1);
    EXPECT_TRUE(PrivilegeEnabled("SeShutdownPrivilege"));
    EXPECT_EQ(DisablePrivilege("SeShutdownPrivilege"), 1);
    EXPECT_FALSE(PrivilegeEnabled("SeShutdownPrivilege"));
    EXPECT_EQ(EnablePrivilege("SeNoSuchPrivilege"), 0);
    EXPECT_EQ(DisablePrivilege("SeNoSuchPrivilege"), 0);
}

}  // namespace
