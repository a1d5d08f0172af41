// FlashBIOS from a server (source 0) against real FTP servers on loopback
// addresses: the site and model dialogs answered by the script, the catalogue
// and the image fetched through WinInet, and every way the retrieval can fail
// ending with one message, result 0 and the flash part untouched.
#include <atomic>
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
#include "update_flow.h"

namespace {

using test_images::AwardImage;
using test_images::Bytes;

constexpr UINT kSiteDialog = 4002;
constexpr UINT kModelDialog = 4003;
constexpr UINT kConfirm = 4000;
constexpr UINT kRestart = 4001;
constexpr uint32_t k1M = 0x100000;

// Sites of config.ini, by list position.
enum Site { kSite = 0, kMirror, kRefuses, kNoLogin, kNobody, kWrongDirectory };

constexpr char kConfig[] =
    "[SERVER]\r\n0=Site\r\n1=Mirror\r\n2=Refuses\r\n3=No login\r\n4=Nobody\r\n5=Wrong directory\r\n"
    "[0]\r\nAddress=127.0.0.21\r\nDirectory=//BIOS\r\nUsername=vossel\r\nPassword=s3cret\r\n"
    "[1]\r\nAddress=127.0.0.22\r\nDirectory=//BIOS\r\n"
    "[2]\r\nAddress=127.0.0.23\r\nDirectory=//BIOS\r\n"
    "[3]\r\nAddress=127.0.0.24\r\nDirectory=//BIOS\r\nUsername=vossel\r\nPassword=s3cret\r\n"
    "[4]\r\nAddress=127.0.0.29\r\nDirectory=//BIOS\r\n"
    "[5]\r\nAddress=127.0.0.21\r\nDirectory=//NOPE\r\nUsername=vossel\r\nPassword=s3cret\r\n";

// Models of the catalogue, by list position; each has its image on the site
// (6a69vn01.<model>) and the fault the server applies to it.
enum Model {
    kGood = 0,
    kResetMidway = 1,   // connection reset after 100000 bytes
    kShortFile = 2,     // the data stream ends after 65536 bytes
    kStalls = 3,        // nothing after 70016 bytes, until the server gives up
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

TEST_F(ServerUpdate, TheDownloadReportsItsOwnProgressUntilItBreaksOff) {
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
    EXPECT_NE(boxes_.Shown()[0].text.find("broke off"), std::string::npos);
    EXPECT_EQ(Part(), OldPart());
}

}  // namespace
