// FlashBIOS from a server (source 0) against real FTP servers on loopback
// addresses: the site and model dialogs answered by the script, the catalogue
// and the image fetched through WinInet, and every way the retrieval can fail
// ending with one message, result 0 and the flash part untouched.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "catalogue_signing.h"
#include "catalogue_trust.h"
#include "downloaded_image.h"
#include "flow_fixture.h"
#include "ftp_servers.h"
#include "info_exports.h"
#include "records.h"
#include "test_images.h"
#include "transfer_limits.h"
#include "update_flow.h"

namespace {

using test_images::AwardImage;
using test_images::Bytes;
using test_images::k1M;

constexpr UINT kSiteDialog = 4002;
constexpr UINT kModelDialog = 4003;
constexpr UINT kConfirm = 4000;
constexpr UINT kRestart = 4001;
constexpr uint32_t k128K = 0x20000;

// Sites of config.ini, by list position.
enum Site { kSite = 0, kMirror, kRefuses, kNoLogin, kNobody, kWrongDirectory, kEndless, kStalledCatalogue };

constexpr char kConfig[] =
    "[SERVER]\r\n0=Site\r\n1=Mirror\r\n2=Refuses\r\n3=No login\r\n4=Nobody\r\n5=Wrong directory\r\n"
    "6=Endless catalogue\r\n7=Stalled catalogue\r\n"
    "[0]\r\nAddress=127.0.0.21\r\nDirectory=//BIOS\r\nUsername=vossel\r\nPassword=s3cret\r\n"
    "[1]\r\nAddress=127.0.0.22\r\nDirectory=//BIOS\r\n"
    "[2]\r\nAddress=127.0.0.23\r\nDirectory=//BIOS\r\n"
    "[3]\r\nAddress=127.0.0.24\r\nDirectory=//BIOS\r\nUsername=vossel\r\nPassword=s3cret\r\n"
    "[4]\r\nAddress=127.0.0.29\r\nDirectory=//BIOS\r\n"
    "[5]\r\nAddress=127.0.0.21\r\nDirectory=//NOPE\r\nUsername=vossel\r\nPassword=s3cret\r\n"
    "[6]\r\nAddress=127.0.0.25\r\nDirectory=//BIOS\r\n"
    "[7]\r\nAddress=127.0.0.26\r\nDirectory=//BIOS\r\n";

// Models of the catalogue, by list position; each has its image on the site
// (6a69vn01.<model>) and the fault the server applies to it.
enum Model {
    kGood = 0,
    kResetMidway = 1,   // connection reset after 100000 bytes
    kShortFile = 2,     // the data stream ends after 65536 bytes
    kStalls = 3,        // nothing after 70016 bytes, until the server gives up 30 s later
    kTooLong = 4,       // 17 bytes more than the image
    kBadSum = 5,        // FileCheck 1, byte sum not 0
    kNoImage = 6,       // not on the server
    kCheckedSum = 7,    // FileCheck 1, byte sum 0
};

const char kCatalogue[] =
    "[6A69VN01]\r\nNAME=GA-7X\r\n0=GA-7X F6\r\n1=Reset F6\r\n2=Short F6\r\n3=Stalls F6\r\n4=Long F6\r\n"
    "5=Bad sum F6\r\nFC5=1\r\n6=Missing F6\r\n7=Checked F6\r\nFC7=1\r\n";

// The system's text for a WinInet error, as the engine should show it. The
// codes are those WinInet under Wine gives: 12029 nobody listens, 12110 the
// server hangs up at once, 12015 the login is refused.
std::string InternetErrorText(DWORD error) {
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
        GetModuleHandleA("wininet.dll"), error, 0, reinterpret_cast<char*>(&message), 0, nullptr);
    if (length == 0 || message == nullptr) return "IDS_EXCEPTION";
    std::string text(message, length);
    LocalFree(message);
    return text;
}

class ServerUpdate : public FlowTest {
protected:
    void SetUp() override {
        FlowTest::SetUp();
        std::string problem;
        ASSERT_TRUE(servers_.Load(&problem)) << problem;
        StartBoard(k1M, 1, "6A69VN01");
        WriteFileBytes(temp_.File("config.ini"), kConfig);
        image_ = Bytes(AwardImage(k1M, "6A69VN01"));
        std::string zero_sum = image_;
        unsigned sum = 0;
        for (unsigned char byte : zero_sum) sum += byte;
        zero_sum[0x1000] = char(zero_sum[0x1000] - sum);
        for (const char* server : {"site", "mirror"}) {
            servers_.ClearBiosFolder(server);
            servers_.Serve(server, "bios.ini", kCatalogue);
            for (int model : {kGood, kResetMidway, kShortFile, kStalls, kTooLong, kBadSum}) {
                servers_.Serve(server, "6a69vn01." + std::to_string(model), image_);
            }
            servers_.Serve(server, "6a69vn01.7", zero_sum);
        }
        zero_sum_image_ = zero_sum;
        // The endless server sends its catalogue and then bytes without end,
        // the stalled one stops after 100 bytes of it.
        for (const char* server : {"endless", "stallcat"}) {
            servers_.ClearBiosFolder(server);
            servers_.Serve(server, "bios.ini", kCatalogue);
            servers_.Serve(server, "6a69vn01.0", image_);
        }
        ClearRecords();
    }

    // Scripts the site and model choices, then confirms and postpones the
    // restart; model -1: the model dialog is cancelled.
    void Script(int site, int model) {
        dialogs_.Select(site, IDOK);
        if (model < 0) {
            dialogs_.Answer({IDCANCEL});
            return;
        }
        dialogs_.Select(model, IDOK);
        dialogs_.Answer({IDOK, IDCANCEL});
    }

    int Update() { return FlashBIOS(kSourceServer, "c:\\NoFile", 1, 0, 0); }

    // The update on a thread of its own, waited for at most seconds. An
    // update still running then is held by the server for good: the test
    // cannot get its thread back, and ends the program.
    int UpdateWithin(unsigned seconds) {
        std::atomic<int> result{-1};
        HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread update([&] {
            result = Update();
            SetEvent(done);
        });
        if (WaitForSingleObject(done, seconds * 1000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the update still runs after " << seconds << " s";
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 1);
        }
        update.join();
        CloseHandle(done);
        return result.load();
    }

    // How many commands of the server's log contain command.
    size_t Commands(const char* server, const std::string& command) const {
        size_t count = 0;
        // The servers' answers (vsftpd logs them too) quote commands.
        for (const std::string& line : servers_.Log(server)) {
            if (line.find(command) != std::string::npos && line.find("FTP response") == std::string::npos) ++count;
        }
        return count;
    }

    FtpServers servers_;
    std::string image_;
    std::string zero_sum_image_;
};

TEST_F(ServerUpdate, TheChosenModelIsDownloadedFromEitherServerSavedBesideTheEngineAndWritten) {
    struct Case {
        const char* name;
        Site site;
        const char* server;
        Model model;
        const char* login;
    };
    const Case cases[] = {
        {"pyftpdlib with a login", kSite, "site", kGood, "USER vossel"},
        {"vsftpd, anonymous", kMirror, "mirror", kGood, "USER anonymous"},
        {"byte sum checked", kSite, "site", kCheckedSum, "USER vossel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(k1M, 1, "6A69VN01");
        WriteFileBytes(temp_.File("bios.ini"), "[6A69VN01]\r\n0=left from an earlier update\r\n");
        const size_t retrievals_before = Commands(c.server, "RETR");
        Script(c.site, c.model);
        EXPECT_EQ(Update(), 1);

        const std::string expected = c.model == kCheckedSum ? zero_sum_image_ : image_;
        EXPECT_EQ(dialogs_.DialogTemplates(), (std::vector<UINT>{kSiteDialog, kModelDialog, kConfirm, kRestart}));
        EXPECT_EQ(dialogs_.Dialogs()[1].items.size(), 8u);
        EXPECT_EQ(Part(), expected);
        const std::string saved = temp_.File("6a69vn01." + std::to_string(c.model));
        EXPECT_EQ(ReadFileBytes(saved), expected) << "the download stays beside the engine";
        EXPECT_EQ(ReadFileBytes(temp_.File("bios.ini")), kCatalogue) << "the catalogue replaces an older copy";
        EXPECT_TRUE(boxes_.Shown().empty());
        EXPECT_EQ(Engine.Busy.load(), 0);
        EXPECT_EQ(Engine.OwnProgress.load(), 0);
        EXPECT_EQ(Commands(c.server, "RETR") - retrievals_before, 3u) << "catalogue, signature, image";
        EXPECT_GE(Commands(c.server, c.login), 1u);
        EXPECT_GE(Commands(c.server, "CWD //BIOS"), 1u);
        EXPECT_GE(Commands(c.server, "PORT"), 2u) << "active mode";
        EXPECT_EQ(Commands(c.server, "PASV"), 0u);
        DeleteFileA(saved.c_str());
    }
}

TEST_F(ServerUpdate, EveryRetrievalFailureEndsWithOneMessageAndNothingWritten) {
    struct Case {
        const char* name;
        Site site;
        int model;  // -1: the model dialog is cancelled
        std::string text;  // empty: no message
        const char* caption;
        UINT icon;
        std::vector<UINT> templates;
    };
    const std::string app = "engine_server_tests";
    const std::vector<UINT> both = {kSiteDialog, kModelDialog};
    const std::vector<Case> cases = {
        {"nobody answers", kNobody, kGood, InternetErrorText(12029), app.c_str(),
         MB_ICONEXCLAMATION, {kSiteDialog}},
        {"the server hangs up", kRefuses, kGood, InternetErrorText(12110), app.c_str(),
         MB_ICONEXCLAMATION, {kSiteDialog}},
        {"the login is refused", kNoLogin, kGood, InternetErrorText(12015), app.c_str(),
         MB_ICONEXCLAMATION, {kSiteDialog}},
        {"no such directory", kWrongDirectory, kGood,
         "Cann't find \"//NOPE\" directory in \"127.0.0.21\" ftp server", "ERROR", 0, {kSiteDialog}},
        {"model dialog cancelled", kSite, -1, "", nullptr, 0, both},
        {"image missing", kSite, kNoImage, "Cann't get \"6a69vn01.6\" file in \"127.0.0.21\" Zorvik server",
         "ERROR", 0, both},
        {"connection reset midway", kSite, kResetMidway,
         "The download of \"6a69vn01.1\" from \"127.0.0.21\" Zorvik server broke off.\nNothing was written. Please "
         "try again.",
         "ERROR", 0, both},
        {"a short file", kSite, kShortFile, "Can not load ROM image from BIN file.\nMaybe BIN file size not match.",
         "Error", MB_ICONERROR, both},
        {"longer than the buffer", kSite, kTooLong,
         "The file \"6a69vn01.4\" on \"127.0.0.21\" Zorvik server is longer than any BIOS of this board.\n"
         "Nothing was written.",
         "ERROR", 0, both},
        {"byte sum wrong", kSite, kBadSum, "The BIOS file is not correct !\nPlease download again.", "Error", 0,
         both},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(k1M, 1, "6A69VN01");
        WriteFileBytes(temp_.File("config.ini"), kConfig);
        Script(c.site, c.model);
        EXPECT_EQ(Update(), 0);
        EXPECT_EQ(dialogs_.DialogTemplates(), c.templates);
        if (c.text.empty()) {
            EXPECT_TRUE(boxes_.Shown().empty());
        } else {
            ASSERT_EQ(boxes_.Shown().size(), 1u);
            EXPECT_EQ(boxes_.Shown()[0].text, c.text);
            EXPECT_EQ(boxes_.Shown()[0].caption, c.caption);
            EXPECT_EQ(boxes_.Shown()[0].icon, c.icon);
            EXPECT_EQ(boxes_.Shown()[0].buttons, UINT(MB_OK));
            EXPECT_EQ(boxes_.Shown()[0].owner, nullptr);
        }
        EXPECT_EQ(Part(), OldPart());
        EXPECT_EQ(Calls({"W_Flash_Write"}), std::vector<std::string>{});
        EXPECT_EQ(Engine.Busy.load(), 0);
        EXPECT_EQ(Engine.OwnProgress.load(), 0);
    }
}

// The catalogue's signature and the image's digest: every case against the
// site (pyftpdlib) and the mirror (vsftpd), signatures made by the signing
// tool now.
TEST_F(ServerUpdate, ASignedCatalogueIsUsedOnlyWhenItVerifiesAndEveryImageMustMatchItsDigest) {
    using catalogue_signing::DigestLine;
    using catalogue_signing::Sign;
    std::string problem;
    std::string digest0, digest7;
    ASSERT_TRUE(DigestLine(image_, 0, temp_.path(), &digest0, &problem)) << problem;
    ASSERT_TRUE(DigestLine(zero_sum_image_, 7, temp_.path(), &digest7, &problem)) << problem;
    // A digest of an entry the catalogue does not have changes nothing.
    const std::string signed_catalogue =
        std::string(kCatalogue) + digest0 + digest7 + "SHA25640=" + std::string(64, 'a') + "\r\n";
    std::string signature, foreign_signature;
    ASSERT_TRUE(Sign(signed_catalogue, catalogue_signing::TestKey(), temp_.path(), &signature, &problem)) << problem;
    const std::string foreign_key = catalogue_signing::MakeKey(temp_.path(), "foreign", &problem);
    ASSERT_FALSE(foreign_key.empty()) << problem;
    ASSERT_TRUE(Sign(signed_catalogue, foreign_key, temp_.path(), &foreign_signature, &problem)) << problem;
    // Signed catalogues whose digest for entry 0 is no digest.
    auto with_digest0 = [&](const std::string& value) {
        std::string text = signed_catalogue;
        text.replace(text.find(digest0), digest0.size(), "SHA2560=" + value + "\r\n");
        return text;
    };
    const std::string short_digest = with_digest0(digest0.substr(8, 63));
    const std::string nonhex_digest = with_digest0("g" + digest0.substr(9, 63));
    std::string short_signature, nonhex_signature;
    ASSERT_TRUE(Sign(short_digest, catalogue_signing::TestKey(), temp_.path(), &short_signature, &problem));
    ASSERT_TRUE(Sign(nonhex_digest, catalogue_signing::TestKey(), temp_.path(), &nonhex_signature, &problem));
    std::string tampered_catalogue = signed_catalogue;
    tampered_catalogue[tampered_catalogue.find("F6")] = 'X';
    // Images changed after signing: model 0 (no FC) one byte off, model 7
    // (FC 1) two bytes off with its byte sum still 0.
    std::string tampered0 = image_;
    tampered0[0x2000] = char(tampered0[0x2000] ^ 0x01);
    std::string tampered7 = zero_sum_image_;
    tampered7[0x2000] = char(tampered7[0x2000] + 1);
    tampered7[0x2001] = char(tampered7[0x2001] - 1);

    const std::string previous = "[6A69VN01]\r\n0=left from an earlier update\r\n";
    const std::string bad_signature = "The \"bios.ini\" file in \"127.0.0.21\" Zorvik server has a signature that "
                                      "does not verify.\nThe server was not used. Nothing was written.";
    const std::string unsigned_refused = "The \"bios.ini\" file in \"127.0.0.21\" Zorvik server is not signed, and "
                                         "signed files are required.\nThe server was not used. Nothing was written.";
    auto mismatch = [](const char* file, const char* host) {
        return std::string("The file \"") + file + "\" from \"" + host +
               "\" Zorvik server does not match the digest of its catalogue.\nNothing was saved or written.";
    };
    struct Case {
        const char* name;
        Site site;
        std::string catalogue;
        std::string signature;  // "<none>": no signature file
        bool require_signed;
        Model model;
        std::string served;     // the image served for model
        std::string message;    // "": written
        bool catalogue_kept;    // the local bios.ini now holds catalogue (else the previous one)
    };
    const std::string none = "<none>";
    const std::vector<Case> cases = {
        {"signed and valid", kSite, signed_catalogue, signature, false, kGood, image_, "", true},
        {"signed and valid, vsftpd", kMirror, signed_catalogue, signature, false, kGood, image_, "", true},
        {"signed and valid, FC 1", kSite, signed_catalogue, signature, false, kCheckedSum, zero_sum_image_, "", true},
        {"signed, policy on", kSite, signed_catalogue, signature, true, kGood, image_, "", true},
        {"unsigned, policy off", kSite, kCatalogue, none, false, kGood, image_, "", true},
        {"unsigned, policy on", kSite, kCatalogue, none, true, kGood, image_, unsigned_refused, false},
        {"catalogue changed after signing", kSite, tampered_catalogue, signature, false, kGood, image_,
         bad_signature, false},
        {"signed by an unknown key", kSite, signed_catalogue, foreign_signature, false, kGood, image_,
         bad_signature, false},
        {"empty signature", kSite, signed_catalogue, "", false, kGood, image_, bad_signature, false},
        {"odd-length signature", kSite, signed_catalogue, signature.substr(0, 63), false, kGood, image_,
         bad_signature, false},
        {"signature with a byte more", kSite, signed_catalogue, signature + "\n", false, kGood, image_,
         bad_signature, false},
        {"signature file over 4 KiB", kSite, signed_catalogue, std::string(4097, '\x5A'), false, kGood, image_,
         bad_signature, false},
        {"image changed after signing, no FC", kSite, signed_catalogue, signature, false, kGood, tampered0,
         mismatch("6a69vn01.0", "127.0.0.21"), false},
        {"image changed after signing, FC 1", kSite, signed_catalogue, signature, false, kCheckedSum, tampered7,
         mismatch("6a69vn01.7", "127.0.0.21"), false},
        {"digest one digit short", kSite, short_digest, short_signature, false, kGood, image_,
         mismatch("6a69vn01.0", "127.0.0.21"), false},
        {"digest with a non-hex digit", kSite, nonhex_digest, nonhex_signature, false, kGood, image_,
         mismatch("6a69vn01.0", "127.0.0.21"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const char* server = c.site == kMirror ? "mirror" : "site";
        StartBoard(k1M, 1, "6A69VN01");
        WriteFileBytes(temp_.File("config.ini"),
                       std::string(kConfig) + (c.require_signed ? "[SECURITY]\r\nRequireSigned=1\r\n" : ""));
        WriteFileBytes(temp_.File("bios.ini"), previous);
        servers_.Serve(server, "bios.ini", c.catalogue);
        if (c.signature != none) servers_.Serve(server, "bios.ini.sig", c.signature);
        const std::string image_name = "6a69vn01." + std::to_string(c.model);
        servers_.Serve(server, image_name, c.served);
        Script(c.site, c.model);

        EXPECT_EQ(Update(), c.message.empty() ? 1 : 0);
        if (c.message.empty()) {
            EXPECT_TRUE(boxes_.Shown().empty());
            EXPECT_EQ(Part(), c.served);
        } else {
            ASSERT_EQ(boxes_.Shown().size(), 1u);
            EXPECT_EQ(boxes_.Shown()[0].text, c.message);
            EXPECT_EQ(boxes_.Shown()[0].caption, "ERROR");
            EXPECT_EQ(Part(), OldPart());
            EXPECT_EQ(Calls({"W_Flash_Write"}), std::vector<std::string>{});
            EXPECT_EQ(GetFileAttributesA(temp_.File(image_name).c_str()), INVALID_FILE_ATTRIBUTES)
                << "nothing saved";
            const bool offered = c.message.find("digest") != std::string::npos;
            EXPECT_EQ(dialogs_.DialogTemplates().size(), offered ? 2u : 1u) << "a refused catalogue is never offered";
        }
        EXPECT_EQ(ReadFileBytes(temp_.File("bios.ini")), c.catalogue_kept ? c.catalogue : previous);
        EXPECT_EQ(Engine.Busy.load(), 0);
        DeleteFileA(temp_.File(image_name).c_str());
        // The next case lays its own files.
        servers_.ClearBiosFolder(server);
        for (int model : {kGood, kResetMidway, kShortFile, kStalls, kTooLong, kBadSum}) {
            servers_.Serve(server, "6a69vn01." + std::to_string(model), image_);
        }
        servers_.Serve(server, "6a69vn01.7", zero_sum_image_);
    }
}

TEST_F(ServerUpdate, CancellingTheSiteDialogConnectsNowhere) {
    const size_t connects = Commands("site", "CONNECT") + Commands("mirror", "CONNECT");
    dialogs_.Answer({IDCANCEL});
    EXPECT_EQ(Update(), 0);
    EXPECT_EQ(dialogs_.DialogTemplates(), std::vector<UINT>{kSiteDialog});
    EXPECT_TRUE(boxes_.Shown().empty());
    EXPECT_EQ(Commands("site", "CONNECT") + Commands("mirror", "CONNECT"), connects);
    EXPECT_EQ(Engine.Busy.load(), 0);
}

TEST_F(ServerUpdate, TheDownloadReportsItsOwnProgressUntilItIsAbandoned) {
    Script(kSite, kStalls);
    std::atomic<int> result{-1};
    std::thread update([&] { result = Update(); });
    // The server stops after 70016 bytes of the 1 MiB image: 6 percent.
    const ULONGLONG deadline = GetTickCount64() + 30000;
    int own = 0, percent = -1, busy = 0;
    while (GetTickCount64() < deadline) {
        own = Engine.OwnProgress.load();
        percent = Engine.ProgressPercent.load();
        busy = Engine.Busy.load();
        if (own == 1 && percent == 6) break;
        Sleep(5);
    }
    EXPECT_EQ(own, 1);
    EXPECT_EQ(percent, 6);
    EXPECT_EQ(busy, 1);
    int hub_status = -1, hub_percent = -1;
    GetProgressStatusForHubrix(&hub_status, &hub_percent);
    EXPECT_EQ(hub_status, kStatusSaving) << "a download reads as status 1 to the hub";
    EXPECT_EQ(hub_percent, 6);
    update.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(Engine.OwnProgress.load(), 0);
    ASSERT_EQ(boxes_.Shown().size(), 1u);
    EXPECT_NE(boxes_.Shown()[0].text.find("stood still"), std::string::npos);
    EXPECT_EQ(Part(), OldPart());
}

// ------------------------------------------------------------ bounded transfers

TEST_F(ServerUpdate, AServerThatSendsWithoutEndOrStandsStillIsLeftInBoundedTime) {
    const std::string stall = std::to_string(kTransferStallSeconds);
    const std::string earlier = "[6A69VN01]\r\n0=left from an earlier update\r\n";
    struct Case {
        const char* name;
        Site site;
        Model model;
        std::string text;
        std::vector<UINT> templates;
        bool stalls;
    };
    const std::vector<Case> cases = {
        {"endless catalogue", kEndless, kGood,
         "The file \"bios.ini\" on \"127.0.0.25\" Zorvik server is longer than 1024 KiB, too long for a BIOS "
         "catalogue.\nNothing was written.",
         {kSiteDialog}, false},
        {"stalled catalogue", kStalledCatalogue, kGood,
         "The download of \"bios.ini\" from \"127.0.0.26\" Zorvik server stood still for " + stall +
             " seconds.\nNothing was written. Please try again.",
         {kSiteDialog}, true},
        {"stalled image", kSite, kStalls,
         "The download of \"6a69vn01.3\" from \"127.0.0.21\" Zorvik server stood still for " + stall +
             " seconds.\nNothing was written. Please try again.",
         {kSiteDialog, kModelDialog}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(k1M, 1, "6A69VN01");
        WriteFileBytes(temp_.File("config.ini"), kConfig);
        WriteFileBytes(temp_.File("bios.ini"), earlier);
        const std::vector<std::string> names = FolderNames(temp_.path());
        Script(c.site, c.model);
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(UpdateWithin(kTransferStallSeconds + 20), 0);
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (c.stalls) {
            EXPECT_GE(elapsed + 100, kTransferStallSeconds * 1000ull) << "abandoned before the limit";
        }
        EXPECT_LT(elapsed, (kTransferStallSeconds + 10) * 1000ull);
        EXPECT_EQ(dialogs_.DialogTemplates(), c.templates);
        ASSERT_EQ(boxes_.Shown().size(), 1u);
        EXPECT_EQ(boxes_.Shown()[0].text, c.text);
        EXPECT_EQ(boxes_.Shown()[0].caption, "ERROR");
        if (c.site != kSite) {
            EXPECT_EQ(ReadFileBytes(temp_.File("bios.ini")), earlier) << "a catalogue only replaces one when whole";
        }
        EXPECT_EQ(FolderNames(temp_.path()), names) << "nothing of the transfer is left behind";
        EXPECT_EQ(Part(), OldPart());
        EXPECT_EQ(Calls({"W_Flash_Write"}), std::vector<std::string>{});
        EXPECT_EQ(Engine.Busy.load(), 0);
        EXPECT_EQ(Engine.OwnProgress.load(), 0);
    }
}

TEST_F(ServerUpdate, ACatalogueOfTheSizeLimitIsTakenAndOneByteMoreIsNot) {
    const std::string earlier = "[6A69VN01]\r\n0=left from an earlier update\r\n";
    for (const uint32_t size : {kCatalogueSizeLimit, kCatalogueSizeLimit + 1}) {
        SCOPED_TRACE(size);
        // The catalogue, then comment lines up to the size.
        std::string catalogue = kCatalogue;
        while (catalogue.size() + 2 < size) {
            const size_t line = std::min<size_t>(size - catalogue.size() - 2, 80);
            catalogue += ";" + std::string(line - 1, 'x') + "\r\n";
        }
        catalogue.resize(size, '\n');
        servers_.Serve("site", "bios.ini", catalogue);
        StartBoard(k1M, 1, "6A69VN01");
        WriteFileBytes(temp_.File("config.ini"), kConfig);
        WriteFileBytes(temp_.File("bios.ini"), earlier);
        Script(kSite, -1);
        EXPECT_EQ(Update(), 0);
        if (size == kCatalogueSizeLimit) {
            EXPECT_EQ(dialogs_.DialogTemplates(), (std::vector<UINT>{kSiteDialog, kModelDialog}));
            EXPECT_TRUE(boxes_.Shown().empty());
            EXPECT_TRUE(ReadFileBytes(temp_.File("bios.ini")) == catalogue);
            continue;
        }
        EXPECT_EQ(dialogs_.DialogTemplates(), std::vector<UINT>{kSiteDialog});
        EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"The file \"bios.ini\" on \"127.0.0.21\" Zorvik server is "
                                                            "longer than 1024 KiB, too long for a BIOS catalogue.\n"
                                                            "Nothing was written."});
        EXPECT_EQ(ReadFileBytes(temp_.File("bios.ini")), earlier);
    }
}

// ------------------------------------------------------------ the saved download

TEST_F(ServerUpdate, ADownloadThatCannotBeSavedEndsTheUpdateAndNoOlderFileIsWritten) {
    // A small board, so that an older image fits the full small disk.
    const std::string image = Bytes(AwardImage(k128K, "6A69VN01"));
    std::string older = image;
    older[0x4000] = char(older[0x4000] ^ 0xFF);  // passes every check just as well
    servers_.Serve("site", "6a69vn01.0", image);
    enum class Obstacle { kNone, kReadOnly, kLocked, kFullDisk };
    struct Case {
        const char* name;
        Obstacle obstacle;
        const char* cause;  // nullptr: the update succeeds
    };
    const Case cases[] = {
        {"a writable older file is replaced", Obstacle::kNone, nullptr},
        {"a read-only older file", Obstacle::kReadOnly, "The file is read-only."},
        {"an older file open without delete sharing", Obstacle::kLocked, "The file is in use by another program."},
        {"a full disk", Obstacle::kFullDisk, "The disk is full."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string folder = temp_.path();
        if (c.obstacle == Obstacle::kFullDisk) {
            folder = SmallDisk("full");
            if (folder.empty()) {
                std::printf("skipped: the small_disks fixture mounted no small filesystem (it needs root)\n");
                continue;
            }
        }
        StartBoard(k128K, 1, "6A69VN01");
        lstrcpynA(Engine.ModuleDir, folder.c_str(), sizeof Engine.ModuleDir);
        WriteFileBytes(folder + "config.ini", kConfig);
        WriteFileBytes(folder + "bios.ini", kCatalogue);
        const std::string saved = folder + "6a69vn01.0";
        WriteFileBytes(saved, older);
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (c.obstacle == Obstacle::kReadOnly) SetFileAttributesA(saved.c_str(), FILE_ATTRIBUTE_READONLY);
        if (c.obstacle == Obstacle::kLocked) {
            lock = CreateFileA(saved.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        }
        const std::vector<std::string> names = FolderNames(folder);
        Script(kSite, kGood);
        const int result = Update();
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        SetFileAttributesA(saved.c_str(), FILE_ATTRIBUTE_NORMAL);
        const std::string left = ReadFileBytes(saved);
        const std::vector<std::string> names_after = FolderNames(folder);
        if (c.obstacle == Obstacle::kFullDisk) {
            for (const char* name : {"6a69vn01.0", "config.ini", "bios.ini"}) DeleteFileA((folder + name).c_str());
        }
        EXPECT_EQ(names_after, names) << "no partial file is left";
        EXPECT_EQ(Engine.Busy.load(), 0);
        if (c.cause == nullptr) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(Part(), image);
            EXPECT_EQ(left, image);
            EXPECT_TRUE(boxes_.Shown().empty());
            continue;
        }
        EXPECT_EQ(result, 0);
        ASSERT_EQ(boxes_.Shown().size(), 1u);
        EXPECT_EQ(boxes_.Shown()[0].text,
                  "Can't save the downloaded BIOS to \"" + saved + "\".\n" + c.cause + "\nNothing was written.");
        EXPECT_EQ(boxes_.Shown()[0].caption, "Error");
        EXPECT_EQ(boxes_.Shown()[0].icon, UINT(MB_ICONERROR));
        EXPECT_EQ(dialogs_.DialogTemplates(), (std::vector<UINT>{kSiteDialog, kModelDialog})) << "no confirmation";
        EXPECT_EQ(Part(), OldPart());
        EXPECT_EQ(Calls({"W_Flash_Write"}), std::vector<std::string>{});
        EXPECT_EQ(left, older);
    }
}

TEST_F(ServerUpdate, TheLoadOfTheSavedDownloadPlacesTheDownloadedBytesOrNothing) {
    constexpr uint32_t k2M = 0x200000;
    constexpr char kRecognised[] = "3K41ZT01";  // the board with the adapted sizes
    const std::string file = temp_.File("download.bin");
    const std::string small = Bytes(AwardImage(k1M, kRecognised));
    const std::string large = Bytes(AwardImage(k2M, kRecognised));
    std::string changed = image_;
    changed[0x2000] = char(changed[0x2000] ^ 0x01);
    struct Case {
        const char* name;
        uint32_t flash_size;
        const char* part;
        std::string downloaded;
        std::string on_disk;
        bool placed;
        int mode;        // BoardMode afterwards
        uint32_t offset;  // of the placed image
    };
    const Case cases[] = {
        {"the file holds the download", k1M, "6A69VN01", image_, image_, true, 0, 0},
        {"one byte differs", k1M, "6A69VN01", image_, changed, false, 0, 0},
        {"board mode 3, the file holds the download", k2M, kRecognised, small, small, true, 3, k1M},
        {"board mode 3 expected, an older 2 MiB file", k2M, kRecognised, small, large, false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartBoard(c.flash_size, 1, c.part);
        WriteFileBytes(file, c.on_disk);
        ImageBuffer buffer;
        ASSERT_TRUE(buffer.Allocate(vossel::ImageBufferSize(vossel::UpdatePath::kAward, Engine.BoardMode,
                                                            Engine.CurrentFlash.FlashSize)));
        const std::vector<uint8_t> downloaded(c.downloaded.begin(), c.downloaded.end());
        EXPECT_EQ(PlaceDownloadedImageFile(vossel::UpdatePath::kAward, file.c_str(), downloaded, buffer), c.placed);
        EXPECT_EQ(Engine.BoardMode, c.mode);
        EXPECT_EQ(Engine.CurrentFlash.FlashSize, c.flash_size);
        if (c.placed) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()) + c.offset, c.downloaded.size()),
                      c.downloaded);
            EXPECT_TRUE(boxes_.Shown().empty());
            continue;
        }
        EXPECT_FALSE(buffer);
        EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"The BIOS file \"" + file +
                                                            "\" does not hold what was downloaded.\nNothing was "
                                                            "written. Please try again."});
    }
    RestoreBoardMode();
}

}  // namespace
