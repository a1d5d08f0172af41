// The unattended update for the maker's update manager against real FTP
// servers: BiosUpdateCheck trying the built-in servers in order,
// UpdateBiosByUpdateManager answering every outcome with its code and what it
// leaves on the part, and the download figures a poller sees while an image
// comes in. None of the three exports ever shows a box or a dialog or asks for
// a restart.
//
// The built-in servers of the test build are 127.0.0.11 to 127.0.0.15: nothing
// listens on .11 and .15, builtin2 (.12) and builtin3 (.13) are pyftpdlib,
// builtin4 (.14) is vsftpd. builtin2 ends 6a69vn01.0 after 100000 bytes as if
// the file were that short; "stalling" (.16) stops sending 7c33pr01.0 after
// 384 KiB until its stall limit.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "catalogue_signing.h"
#include "catalogue_trust.h"
#include "flow_fixture.h"
#include "ftp_servers.h"
#include "info_exports.h"
#include "records.h"
#include "test_images.h"
#include "transfer_limits.h"
#include "update_manager.h"

namespace {

using namespace test_images;

constexpr char kAwardPart[] = "6A69VN01";
constexpr char kUefiPart[] = "8B22QW07";
constexpr char kRecognisedPart[] = "3K41ZT01";
constexpr char kSignOnF5[] = "NORVANE 6A69VN01 Award Modular BIOS v6.00PG F5";

const std::vector<std::string> kBuiltIn = {"builtin2", "builtin3", "builtin4"};

// What a server's root holds for a case.
struct Tree {
    bool folder = true;      // the BIOS folder exists
    std::string file;        // a file in it ("" for none)
    std::string bytes;
};

Tree NoFolder() { return {false, "", ""}; }
Tree EmptyFolder() { return {}; }
Tree Catalogue(const std::string& section) { return {true, "bios.ini", section}; }

// A catalogue whose first section belongs to another board.
std::string Sections(const std::string& board_keys, const char* part = kAwardPart) {
    return "[7X11AB01]\r\nNAME=Other board\r\n0=Other board F9\r\n[" + std::string(part) + "]\r\n" + board_keys;
}

// The image of a part number under the name the engine asks for.
std::string ImageName(const char* part) {
    std::string name = std::string(part) + ".0";
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// Connections a server has taken so far, by its command log (both servers
// log a CONNECT line per client).
size_t Connections(const std::vector<std::string>& log) {
    size_t count = 0;
    for (const std::string& line : log) {
        if (line.find("CONNECT") != std::string::npos && line.find("DISCONNECT") == std::string::npos) ++count;
    }
    return count;
}

// Parts are megabytes long: a difference is told by its first offset.
testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) return testing::AssertionSuccess();
    const size_t common = std::min(actual.size(), expected.size());
    size_t offset = 0;
    while (offset < common && actual[offset] == expected[offset]) ++offset;
    return testing::AssertionFailure() << actual.size() << " bytes against " << expected.size()
                                       << " expected, first difference at offset 0x" << std::hex << offset;
}

class UpdateManager : public FlowTest {
protected:
    void SetUp() override {
        FlowTest::SetUp();
        std::string problem;
        ASSERT_TRUE(servers_.Load(&problem)) << problem;
    }

    void Lay(const std::string& server, const Tree& tree) const {
        servers_.ClearBiosFolder(server);
        if (!tree.folder) RemoveDirectoryA((servers_.Root(server) + "BIOS").c_str());
        if (!tree.file.empty()) servers_.Serve(server, tree.file, tree.bytes);
    }

    void SetCurrentServer(const char* host) { lstrcpynA(Engine.CurrentServer, host, sizeof Engine.CurrentServer); }
    std::string CurrentServer() const {
        return std::string(Engine.CurrentServer, strnlen(Engine.CurrentServer, sizeof Engine.CurrentServer));
    }

    std::vector<std::string> WritesAndDefaults() const {
        return Calls({"W_Flash_Write", "W_Flash_Write_Ex", "W_Flash_Write_DualBios", "W_Flash_Write_BackupBios",
                      "Load_CMOS_Default"});
    }

    void ExpectQuiet() {
        EXPECT_EQ(Engine.Busy.load(), 0);
        EXPECT_EQ(Engine.OwnProgress.load(), 0);
        EXPECT_FALSE(Engine.OperationRunning.load()) << "free for the next operation";
        EXPECT_TRUE(boxes_.Shown().empty());
        EXPECT_TRUE(dialogs_.Dialogs().empty());
        EXPECT_TRUE(dialogs_.FileDialogs().empty());
        EXPECT_TRUE(restarts_.Requests().empty());
    }

    FtpServers servers_;
};

// ------------------------------------------------------------ BiosUpdateCheck

struct CheckCase {
    const char* name;
    Tree builtin2, builtin3, builtin4;
    unsigned text_size;
    bool null_text;
    int result;
    std::string text;                     // the bytes written into the caller's buffer
    const char* server;                   // CurrentServer afterwards
    std::vector<std::string> connected;  // the servers asked, of builtin2..4
};

TEST_F(UpdateManager, BiosUpdateCheckTriesTheBuiltInServersInOrderUntilOneDecides) {
    const Tree f6 = Catalogue(Sections("NAME=GA-6A69VN\r\n0=6A69VN01 Fix F6\r\n"));
    const Tree f7 = Catalogue(Sections("NAME=GA-6A69VN\r\n0=GA-6A69VN F7\r\n"));
    const std::vector<CheckCase> cases = {
        {"first down, second answers", f6, f7, f7, 64, false, 1, "GA-6A69VN F6", "127.0.0.12", {"builtin2"}},
        {"second without BIOS folder: the third", NoFolder(), f7, f6, 64, false, 1, "GA-6A69VN F7", "127.0.0.13",
         {"builtin2", "builtin3"}},
        {"second without catalogue: the third", EmptyFolder(), f7, f6, 64, false, 1, "GA-6A69VN F7", "127.0.0.13",
         {"builtin2", "builtin3"}},
        {"only the fourth has one", EmptyFolder(), NoFolder(), f6, 64, false, 1, "GA-6A69VN F6", "127.0.0.14",
         {"builtin2", "builtin3", "builtin4"}},
        {"same version: no further server", Catalogue(Sections("NAME=GA-6A69VN\r\n0=GA-6A69VN F5\r\n")), f7, f7, 64,
         false, 0, "", "127.0.0.99", {"builtin2"}},
        {"version not comparable: no further server", Catalogue(Sections("NAME=GA-6A69VN\r\n0=GA-6A69VN FA\r\n")), f7,
         f7, 64, false, 0, "", "127.0.0.99", {"builtin2"}},
        {"second numbering only: no further server",
         Catalogue(Sections("NAME=GA-6A69VN\r\nFLAG=1\r\nNEW0=GA-6A69VN F6\r\n")), f7, f7, 64, false, 0, "",
         "127.0.0.99", {"builtin2"}},
        {"no section for the board: no further server", Catalogue(Sections("NAME=GA-6A69VN\r\n0=GA F6\r\n", "6A69VN02")),
         f7, f7, 64, false, 0, "", "127.0.0.99", {"builtin2"}},
        {"entry without a capital F: the next server", Catalogue(Sections("NAME=GA-6A69VN\r\n0=GA-6A69VN bios f6\r\n")),
         f7, f6, 64, false, 1, "GA-6A69VN F7", "127.0.0.13", {"builtin2", "builtin3"}},
        {"no server has a catalogue", EmptyFolder(), NoFolder(), EmptyFolder(), 64, false, 0, "", "127.0.0.99",
         {"builtin2", "builtin3", "builtin4"}},
        {"text cut at textSize", f6, f7, f7, 4, false, 1, "GA-6", "127.0.0.12", {"builtin2"}},
        {"textSize just the text", f6, f7, f7, 12, false, 1, "GA-6A69VN F6", "127.0.0.12", {"builtin2"}},
        {"textSize 0: nothing written", f6, f7, f7, 0, false, 1, "", "127.0.0.12", {"builtin2"}},
        {"no buffer, textSize 0", f6, f7, f7, 0, true, 1, "", "127.0.0.12", {"builtin2"}},
        {"no buffer, textSize 64", f6, f7, f7, 64, true, 1, "", "127.0.0.12", {"builtin2"}},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(k1M, kBiosTypeAward, kAwardPart, {{"Bios", {{"SignOnMessage", kSignOnF5}}}});
        Lay("builtin2", c.builtin2);
        Lay("builtin3", c.builtin3);
        Lay("builtin4", c.builtin4);
        // A catalogue left beside the engine by an earlier run is never what
        // the check reads; the one it fetches replaces it there, whatever the
        // process's current directory is.
        WriteFileBytes(temp_.File("bios.ini"), Sections("NAME=Stale\r\n0=Stale F9\r\n"));
        SetCurrentServer("127.0.0.99");
        std::vector<size_t> before;
        for (const std::string& server : kBuiltIn) before.push_back(Connections(servers_.Log(server)));

        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        const int result = BiosUpdateCheck(c.null_text ? nullptr : buffer, c.text_size);

        EXPECT_EQ(result, c.result);
        EXPECT_EQ(std::string(buffer, sizeof buffer), c.text + std::string(sizeof buffer - c.text.size(), '#'));
        EXPECT_EQ(CurrentServer(), c.server);
        for (size_t i = 0; i < kBuiltIn.size(); ++i) {
            const bool asked = std::find(c.connected.begin(), c.connected.end(), kBuiltIn[i]) != c.connected.end();
            EXPECT_EQ(Connections(servers_.Log(kBuiltIn[i])) - before[i], asked ? 1u : 0u) << kBuiltIn[i];
        }
        EXPECT_EQ(DownloadStatusForUpdateManager(), kDownloadNone);
        EXPECT_EQ(Calls({"W_Flash_Write", "W_Flash_Read", "Load_CMOS_Default"}), std::vector<std::string>{});
        ExpectQuiet();
    }
}

// ------------------------------------------------------------ UpdateBiosByUpdateManager

// What the part holds afterwards, from the image and the old content.
enum class Landing { kUnchanged, kWhole, kInUpperHalf, kUpperHalfOfImage };

struct UpdateCase {
    const char* name;
    uint32_t flash_size;
    int bios_type;
    const char* part;
    BoardFile board;
    const char* server;   // CurrentServer, or the server the check is to find
    bool found_by_check;  // BiosUpdateCheck sets CurrentServer first
    Tree tree;            // that server's BIOS folder
    int result;
    uint8_t download_status;
    std::vector<std::string> calls;  // the driver's writes and CMOS defaults
    Landing landing;
};

const std::string kWrite512K = "W_Flash_Write length=524288 keepDmi=1 -> 1";
const std::string kWrite1M = "W_Flash_Write length=1048576 keepDmi=1 -> 1";
const std::string kWrite2M = "W_Flash_Write length=2097152 keepDmi=1 -> 1";
const std::string kWriteFailed = "W_Flash_Write length=1048576 keepDmi=1 -> 0";
const std::string kCmosDefaults = "Load_CMOS_Default -> 1";

BoardFile Board(const char* section, const char* key, const char* value) { return {{section, {{key, value}}}}; }

Tree Served(const char* part, const std::string& bytes) { return {true, ImageName(part), bytes}; }
Tree Served(const char* part, const std::vector<uint8_t>& image) { return Served(part, Bytes(image)); }

std::string ServerName(const std::string& host) {
    if (host == "127.0.0.12") return "builtin2";
    if (host == "127.0.0.13") return "builtin3";
    if (host == "127.0.0.14") return "builtin4";
    return "";
}

TEST_F(UpdateManager, UpdateBiosByUpdateManagerAnswersEveryOutcomeWithItsCode) {
    const std::string award = Bytes(AwardImage(k1M, kAwardPart));
    const BoardFile adapted = Board("Flash", "SizeAdaptedWrites", "1");
    const std::vector<UpdateCase> cases = {
        {"award image after a check", k1M, kBiosTypeAward, kAwardPart, {}, "127.0.0.13", true,
         Served(kAwardPart, award), kUpdateWritten, kDownloadFinished, {kWrite1M, kCmosDefaults}, Landing::kWhole},
        {"award image from vsftpd", k512K, kBiosTypeAward, kAwardPart, {}, "127.0.0.14", false,
         Served(kAwardPart, AwardImage(k512K, kAwardPart)), kUpdateWritten, kDownloadFinished,
         {kWrite512K, kCmosDefaults}, Landing::kWhole},
        {"uefi image", k1M, kBiosTypeAmiUefi, kUefiPart, {}, "127.0.0.13", false,
         Served(kUefiPart, UefiImage(k1M, kUefiPart)), kUpdateWritten, kDownloadFinished, {kWrite1M},
         Landing::kWhole},
        {"recognised 2 MiB board, 1 MiB image", k2M, kBiosTypeAward, kRecognisedPart, adapted, "127.0.0.13", false,
         Served(kRecognisedPart, AwardImage(k1M, kRecognisedPart)), kUpdateWritten, kDownloadFinished,
         {kWrite1M, kCmosDefaults}, Landing::kInUpperHalf},
        {"recognised 1 MiB board, 2 MiB image", k1M, kBiosTypeAward, kRecognisedPart, adapted, "127.0.0.13", false,
         Served(kRecognisedPart, AwardImage(k2M, kRecognisedPart)), kUpdateWritten, kDownloadFinished,
         {kWrite2M, kCmosDefaults}, Landing::kUpperHalfOfImage},
        {"no server chosen", k1M, kBiosTypeAward, kAwardPart, {}, "", false, EmptyFolder(), kUpdateNoConnection,
         kDownloadNone, {}, Landing::kUnchanged},
        {"server down", k1M, kBiosTypeAward, kAwardPart, {}, "127.0.0.11", false, EmptyFolder(), kUpdateNoConnection,
         kDownloadNone, {}, Landing::kUnchanged},
        {"no BIOS folder", k1M, kBiosTypeAward, kAwardPart, {}, "127.0.0.13", false, NoFolder(), kUpdateNoDirectory,
         kDownloadNone, {}, Landing::kUnchanged},
        {"no image", k1M, kBiosTypeAward, kAwardPart, {}, "127.0.0.13", false,
         Served("6A69VN02", award), kUpdateImageMissing, kDownloadNone, {}, Landing::kUnchanged},
        {"award image of another part", k1M, kBiosTypeAward, kAwardPart, {}, "127.0.0.13", false,
         Served(kAwardPart, AwardImage(k1M, "6A69VN02")), kUpdateBadImage, kDownloadFinished, {},
         Landing::kUnchanged},
        {"uefi image of another part", k1M, kBiosTypeAmiUefi, kUefiPart, {}, "127.0.0.13", false,
         Served(kUefiPart, UefiImage(k1M, "8B22QW08")), kUpdateBadImage, kDownloadFinished, {}, Landing::kUnchanged},
        {"transfer ends early", k1M, kBiosTypeAward, kAwardPart, {}, "127.0.0.12", false, Served(kAwardPart, award),
         kUpdateBadImage, kDownloadFinished, {}, Landing::kUnchanged},
        {"empty file", k1M, kBiosTypeAward, kAwardPart, {}, "127.0.0.13", false, Served(kAwardPart, std::string()),
         kUpdateBadImage, kDownloadFinished, {}, Landing::kUnchanged},
        {"empty file on the recognised board", k1M, kBiosTypeAward, kRecognisedPart, adapted, "127.0.0.13", false,
         Served(kRecognisedPart, std::string()), kUpdateBadImage, kDownloadFinished, {}, Landing::kUnchanged},
        {"image one byte short", k1M, kBiosTypeAmiUefi, kUefiPart, {}, "127.0.0.13", false,
         Served(kUefiPart, Bytes(UefiImage(k1M, kUefiPart)).substr(0, k1M - 1)), kUpdateBadImage, kDownloadFinished,
         {}, Landing::kUnchanged},
        {"image one byte long", k1M, kBiosTypeAward, kAwardPart, {}, "127.0.0.13", false,
         Served(kAwardPart, award + '\xFF'), kUpdateBadImage, kDownloadFinished, {}, Landing::kUnchanged},
        {"file longer than the buffer", k1M, kBiosTypeAward, kAwardPart, {}, "127.0.0.13", false,
         Served(kAwardPart, award + "\xFF\xFF"), kUpdateImageTooLong, kDownloadNone, {}, Landing::kUnchanged},
        {"uefi image on an award board", k1M, kBiosTypeAward, kAwardPart, {}, "127.0.0.13", false,
         Served(kAwardPart, UefiImage(k1M, kAwardPart)), kUpdateWrongFamily, kDownloadFinished, {},
         Landing::kUnchanged},
        {"award image on a uefi board", k1M, kBiosTypeAmiUefi, kUefiPart, {}, "127.0.0.13", false,
         Served(kUefiPart, AwardImage(k1M, kUefiPart)), kUpdateWrongFamily, kDownloadFinished, {},
         Landing::kUnchanged},
        {"AMI board: downloaded, not written", k1M, kBiosTypeAmi, kAwardPart, {}, "127.0.0.13", false,
         Served(kAwardPart, award), kUpdateWrongFamily, kDownloadFinished, {}, Landing::kUnchanged},
        {"program too old", k1M, kBiosTypeAmiUefi, kUefiPart, Board("Board", "UtilityActive", "0"), "127.0.0.13",
         false, Served(kUefiPart, UefiImage(k1M, kUefiPart)), kUpdateProgramTooOld, kDownloadFinished, {},
         Landing::kUnchanged},
        {"permission 0", k1M, kBiosTypeAmiUefi, kUefiPart, Board("Board", "UtilityPermission", "0"), "127.0.0.13",
         false, Served(kUefiPart, UefiImage(k1M, kUefiPart)), kUpdateRefusedByBoard, kDownloadFinished, {},
         Landing::kUnchanged},
        {"protection rule refuses", k1M, kBiosTypeAmiUefi, "5R27HX9C", {}, "127.0.0.13", false,
         Served("5R27HX9C", UefiImage(k1M, "5R27HX9C", 2012, 1, 11)), kUpdateRefusedByBoard, kDownloadFinished, {},
         Landing::kUnchanged},
        {"award write fails", k1M, kBiosTypeAward, kAwardPart, Board("Fail", "W_Flash_Write", "1"), "127.0.0.13",
         false, Served(kAwardPart, award), kUpdateWriteFailed, kDownloadFinished, {kWriteFailed},
         Landing::kUnchanged},
        {"uefi write fails", k1M, kBiosTypeAmiUefi, kUefiPart, Board("Fail", "W_Flash_Write", "1"), "127.0.0.13",
         false, Served(kUefiPart, UefiImage(k1M, kUefiPart)), kUpdateWriteFailed, kDownloadFinished, {kWriteFailed},
         Landing::kUnchanged},
    };
    for (const UpdateCase& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(c.flash_size, c.bios_type, c.part, c.board);
        const int32_t board_mode = Engine.BoardMode;
        for (const std::string& server : kBuiltIn) Lay(server, EmptyFolder());
        const std::string served = ServerName(c.server);
        if (!served.empty()) Lay(served, c.tree);
        if (c.found_by_check) {
            servers_.Serve(served, "bios.ini", Sections("NAME=Board\r\n0=Board F6\r\n", c.part));
            SetCurrentServer("");
            ASSERT_EQ(BiosUpdateCheck(nullptr, 0), 1);
        }
        SetCurrentServer(c.server);
        // What an earlier update left.
        Engine.DownloadStatus = kDownloadFinished;

        const int result = UpdateBiosByUpdateManager();

        EXPECT_EQ(result, c.result);
        EXPECT_EQ(DownloadStatusForUpdateManager(), c.download_status);
        EXPECT_EQ(WritesAndDefaults(), c.calls);
        const std::string image = c.tree.bytes;
        const std::string old = OldPart();
        switch (c.landing) {
        case Landing::kUnchanged: EXPECT_TRUE(SameBytes(Part(), old)); break;
        case Landing::kWhole: EXPECT_TRUE(SameBytes(Part(), image)); break;
        case Landing::kInUpperHalf:
            // The image in the upper half, the lower half as it was: never
            // erased, never zeros.
            EXPECT_TRUE(SameBytes(Part(), old.substr(0, old.size() - image.size()) + image));
            break;
        case Landing::kUpperHalfOfImage: EXPECT_TRUE(SameBytes(Part(), image.substr(image.size() / 2))); break;
        }
        EXPECT_EQ(Engine.BoardMode, board_mode) << "the size adaptation served this update only";
        EXPECT_EQ(Engine.CurrentFlash.FlashSize, c.flash_size);
        EXPECT_EQ(CurrentServer(), c.server);
        ExpectQuiet();
    }
}

// ------------------------------------------------------------ signed catalogues

// The check passes over a server whose catalogue has a signature no built-in
// key verifies, as over one without a catalogue, and leaves the local copy as
// it was; the update writes only the image the accepted catalogue's digest
// pins. The test build asks the unattended exports for no signature.
TEST_F(UpdateManager, TheCheckTakesNoCatalogueThatFailsItsSignatureAndTheUpdateOnlyThePinnedImage) {
    using catalogue_signing::Sign;
    std::string problem;
    const std::string award = Bytes(AwardImage(k1M, kAwardPart));
    std::string tampered = award;
    tampered[0x3000] = char(tampered[0x3000] ^ 0x40);
    std::string digest_line;
    ASSERT_TRUE(catalogue_signing::DigestLine(award, 0, temp_.path(), &digest_line, &problem)) << problem;
    const std::string digest = digest_line.substr(8, 64);
    const std::string f6 = Sections("NAME=GA-6A69VN\r\n0=GA-6A69VN F6\r\n" + digest_line);
    const std::string f7 = Sections("NAME=GA-6A69VN\r\n0=GA-6A69VN F7\r\n" + digest_line);
    std::string f6_signature, f7_signature, foreign_signature;
    ASSERT_TRUE(Sign(f6, catalogue_signing::TestKey(), temp_.path(), &f6_signature, &problem)) << problem;
    ASSERT_TRUE(Sign(f7, catalogue_signing::TestKey(), temp_.path(), &f7_signature, &problem)) << problem;
    const std::string foreign_key = catalogue_signing::MakeKey(temp_.path(), "foreign", &problem);
    ASSERT_FALSE(foreign_key.empty()) << problem;
    ASSERT_TRUE(Sign(f6, foreign_key, temp_.path(), &foreign_signature, &problem)) << problem;
    std::string f6_changed = f6;
    f6_changed[f6_changed.rfind("F6")] = 'G';

    struct Offer {
        std::string catalogue;  // "": none
        std::string signature;  // "<none>": none
    };
    const std::string none = "<none>";
    struct Case {
        const char* name;
        Offer builtin2, builtin3, builtin4;
        int result;
        const char* server;
        int authenticated;
        std::string catalogue;  // the local bios.ini afterwards ("" the previous one)
    };
    const std::vector<Case> cases = {
        {"signed and valid", {f6, f6_signature}, {f7, f7_signature}, {}, 1, "127.0.0.12", 1, f6},
        {"two signatures, the first changed after signing", {f6_changed, f6_signature}, {f7, f7_signature}, {}, 1,
         "127.0.0.13", 1, f7},
        {"an unknown key, then a malformed signature, then unsigned", {f6, foreign_signature},
         {f7, f7_signature.substr(1)}, {f6, none}, 1, "127.0.0.14", 0, f6},
        {"signature over 4 KiB, empty signature, nothing", {f6, std::string(5000, '\x01')}, {f7, ""}, {}, 0,
         "127.0.0.99", 0, ""},
    };
    const std::string previous = Sections("NAME=Stale\r\n0=Stale F9\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(k1M, kBiosTypeAward, kAwardPart, {{"Bios", {{"SignOnMessage", kSignOnF5}}}});
        const Offer* laid[] = {&c.builtin2, &c.builtin3, &c.builtin4};
        for (size_t i = 0; i < kBuiltIn.size(); ++i) {
            Lay(kBuiltIn[i], EmptyFolder());
            if (!laid[i]->catalogue.empty()) servers_.Serve(kBuiltIn[i], "bios.ini", laid[i]->catalogue);
            if (!laid[i]->catalogue.empty() && laid[i]->signature != none) {
                servers_.Serve(kBuiltIn[i], "bios.ini.sig", laid[i]->signature);
            }
        }
        WriteFileBytes(temp_.File("bios.ini"), previous);
        SetCurrentServer("127.0.0.99");

        EXPECT_EQ(BiosUpdateCheck(nullptr, 0), c.result);
        EXPECT_EQ(CurrentServer(), c.server);
        char pinned[65];
        std::memset(pinned, '#', sizeof pinned);
        EXPECT_EQ(BiosUpdateCheckAuthenticated(pinned, sizeof pinned), c.authenticated);
        EXPECT_EQ(std::string(pinned), c.result == 1 ? digest : "");
        EXPECT_EQ(ReadFileBytes(temp_.File("bios.ini")), c.catalogue.empty() ? previous : c.catalogue);
        ExpectQuiet();
    }
    EXPECT_EQ(BiosUpdateCheckAuthenticated(nullptr, 0), 0);

    // The update after a check of builtin3's signed catalogue.
    for (const std::string* image : std::vector<const std::string*>{&tampered, &award}) {
        SCOPED_TRACE(image == &award ? "the pinned image" : "an image changed after signing");
        StartBoard(k1M, kBiosTypeAward, kAwardPart, {{"Bios", {{"SignOnMessage", kSignOnF5}}}});
        Lay("builtin2", EmptyFolder());
        Lay("builtin3", EmptyFolder());
        servers_.Serve("builtin3", "bios.ini", f7);
        servers_.Serve("builtin3", "bios.ini.sig", f7_signature);
        servers_.Serve("builtin3", ImageName(kAwardPart), *image);
        ASSERT_EQ(BiosUpdateCheck(nullptr, 0), 1);
        ASSERT_EQ(BiosUpdateCheckAuthenticated(nullptr, 0), 1);
        const bool pinned = image == &award;
        EXPECT_EQ(UpdateBiosByUpdateManager(), pinned ? kUpdateWritten : kUpdateDigestMismatch);
        const std::vector<std::string> writes = {kWrite1M, kCmosDefaults};
        EXPECT_EQ(WritesAndDefaults(), pinned ? writes : std::vector<std::string>());
        EXPECT_TRUE(SameBytes(Part(), pinned ? award : OldPart()));
        ExpectQuiet();
    }
    // Later updates in this process are not held to this catalogue's digest.
    RememberCheckedCatalogue(CheckedCatalogue{});
}

// ------------------------------------------------------------ download figures

TEST_F(UpdateManager, APollerSeesTheDownloadUntilTheStalledTransferIsAbandoned) {
    constexpr char kPart[] = "7C33PR01";
    constexpr int kStallPercent = 0x60000 * 100 / k1M;  // 37: the stall comes after 384 KiB
    StartBoard(k1M, kBiosTypeAward, kPart);
    Lay("stalling", Served(kPart, AwardImage(k1M, kPart)));
    SetCurrentServer("127.0.0.16");
    EXPECT_EQ(DownloadStatusForUpdateManager(), kDownloadNone);

    int result = -1;
    const auto start = std::chrono::steady_clock::now();
    std::thread update([&] { result = UpdateBiosByUpdateManager(); });
    int status = -1, percent = -1;
    bool seen = false;
    // The server would hold the transfer for 30 s; the engine gives it up
    // after its stall limit, and the figures settle long before.
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
         !seen && std::chrono::steady_clock::now() < end;) {
        GetProgressStatusForHubrix(&status, &percent);
        seen = Engine.OwnProgress.load() == 1 && DownloadStatusForUpdateManager() == kDownloadRunning &&
               status == kStatusSaving && percent == kStallPercent;
        if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(seen) << "last seen: status " << status << ", " << percent << " %, download status "
                      << int(DownloadStatusForUpdateManager()) << ", own progress " << Engine.OwnProgress.load();
    if (seen) {
        // A second update meanwhile is turned away and leaves the figures.
        EXPECT_EQ(UpdateBiosByUpdateManager(), kUpdateBusy);
        GetProgressStatusForHubrix(&status, &percent);
        EXPECT_EQ(status, kStatusSaving);
        EXPECT_EQ(percent, kStallPercent);
        EXPECT_EQ(DownloadStatusForUpdateManager(), kDownloadRunning);
        EXPECT_EQ(Engine.OwnProgress.load(), 1);
    }
    update.join();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::seconds(kTransferStallSeconds) - std::chrono::milliseconds(100));
    EXPECT_LT(elapsed, std::chrono::seconds(kTransferStallSeconds + 10)) << "the stall limit ends the transfer";

    EXPECT_EQ(result, kUpdateTransferBrokeOff);
    EXPECT_EQ(DownloadStatusForUpdateManager(), kDownloadNone);
    GetProgressStatusForHubrix(&status, &percent);
    EXPECT_EQ(status, kStatusNone) << "the driver's figures again";
    EXPECT_TRUE(SameBytes(Part(), OldPart()));
    EXPECT_EQ(WritesAndDefaults(), std::vector<std::string>{});
    EXPECT_EQ(Engine.BoardMode, 0);
    ExpectQuiet();
}

}  // namespace
