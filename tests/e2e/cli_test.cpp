// vossel.exe run as a user runs it: from a folder holding the engine, the
// simulated driver and a board file, one process per command. What it says
// on standard output and its exit code are checked, and the part's file and
// the files it wrote are compared byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "catalogue_signing.h"
#include "e2e_support.h"
#include "engine_host.h"

namespace {

using namespace e2e;

constexpr DWORD kRunTimeoutMs = 120000;
constexpr uint32_t kPartSize = 0x100000;

// An Award board with a 1 MiB part for 6A69VN01, with no phase time; extra
// lines are added to [Flash].
std::string BoardFile(const std::string& extra_flash_keys) {
    return "[Flash]\r\nFlashSize=0x100000\r\nFlashType=MX25L8005 (simulated)\r\nContent=flash.bin\r\n" +
           extra_flash_keys +
           "[Bios]\r\nBiosType=1\r\nBiosPartNumber=6A69VN01\r\n"
           "SignOnMessage=NORVANE 6A69VN01 Award \"BIOS\" F5\r\n"
           "[Timing]\r\nPhaseMillis=0\r\n"
           "[Journal]\r\nPath=flashsim.log\r\n";
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The value of key in a flat JSON object: a string without its quotes (and
// with \" and \\ undone), or the literal as written.
std::string JsonValue(const std::string& json, const std::string& key) {
    const std::string marker = "\"" + key + "\":";
    size_t at = json.find(marker);
    if (at == std::string::npos) return "<missing>";
    at += marker.size();
    std::string value;
    if (json[at] == '"') {
        for (size_t i = at + 1; i < json.size() && json[i] != '"'; ++i) {
            if (json[i] == '\\' && i + 1 < json.size()) ++i;
            value += json[i];
        }
        return value;
    }
    const size_t end = json.find_first_of(",}", at);
    return json.substr(at, end - at);
}

// Files in folder matching pattern ("backup-*.bin").
std::vector<std::string> Matching(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName); while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

class Cli : public ::testing::Test {
protected:
    void LayOut(const std::string& extra_flash_keys = "") {
        ASSERT_TRUE(dir().ok());
        for (const char* file : {"vossel.exe", "Vossel.dll", "flash.dll"}) {
            ASSERT_TRUE(CopyFileA((ProgramDir() + file).c_str(), dir().File(file).c_str(), FALSE)) << file;
        }
        WriteFile(dir().File("flashsim.ini"), BoardFile(extra_flash_keys));
    }
    ProgramRun Vossel(const std::string& arguments) {
        const ProgramRun run = RunProgram("\"" + dir().File("vossel.exe") + "\" " + arguments, kRunTimeoutMs);
        EXPECT_TRUE(run.finished) << "vossel " << arguments << " did not finish";
        return run;
    }
    std::string Quoted(const std::string& name) const { return "\"" + dir().File(name) + "\""; }

    const ScratchDir& dir() const { return *scratch_; }

    std::unique_ptr<ScratchDir> scratch_ = std::make_unique<ScratchDir>();
};

TEST_F(Cli, InfoJsonTellsTheBoardFile) {
    LayOut();
    const ProgramRun run = Vossel("info --json");
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    const struct {
        const char* key;
        const char* value;
    } expected[] = {
        {"flashType", "MX25L8005 (simulated)"},
        {"flashSize", "1048576"},
        {"flashSizeText", "8M bits"},
        {"biosFamily", "Award"},
        {"partNumber", "6A69VN01"},
        {"signOn", "NORVANE 6A69VN01 Award \"BIOS\" F5"},
        {"dualBios", "false"},
        {"powerSaverPresent", "false"},
        {"powerSaverActive", "false"},
    };
    for (const auto& entry : expected) EXPECT_EQ(JsonValue(run.output, entry.key), entry.value) << entry.key;
    EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << "one object on one line: " << run.output;
}

TEST_F(Cli, HelpAndUsage) {
    LayOut();
    const struct {
        const char* arguments;
        DWORD exit_code;
        const char* says;  // on standard output
    } cases[] = {
        {"--help", 0, "usage: vossel COMMAND"},
        {"flash --help", 0, "usage: vossel flash IMAGE"},
        {"help check", 0, "usage: vossel check IMAGE"},
        {"frobnicate", 1, ""},
        {"check", 1, ""},
        {"info --yes", 1, ""},
    };
    for (const auto& c : cases) {
        const ProgramRun run = Vossel(c.arguments);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.arguments << "\n" << run.output;
        EXPECT_TRUE(Contains(run.output, c.says)) << c.arguments << "\n" << run.output;
    }
}

TEST_F(Cli, CheckTellsEachVerdict) {
    LayOut();
    MakeAwardImage(dir().File("good.bin"), "0x5A");
    const ProgramRun other_part = RunProgram("\"" + ProgramDir() + "vossel-mkimage.exe\" award --size 1M --part 6A69VN02 -o " +
                                                 Quoted("other_part.bin"),
                                             kRunTimeoutMs);
    ASSERT_EQ(other_part.exit_code, 0u) << other_part.output;
    WriteFile(dir().File("short.bin"), std::string(12345, '\x5A'));
    WriteFile(dir().File("zeros.bin"), std::string(kPartSize, '\0'));

    const struct {
        const char* image;
        DWORD exit_code;
        std::vector<std::string> lines;
    } cases[] = {
        {"good.bin", 0, {"path: pass", "size: pass", "family: pass", "part number: pass", "series: pass",
                         "plan: W_Flash_Write, 1048576 bytes", "writable: yes"}},
        {"other_part.bin", 3, {"family: pass", "part number: FAIL: ", "series: not reached", "writable: no"}},
        {"short.bin", 3, {"path: pass", "size: FAIL: ", "family: not reached", "writable: no"}},
        {"missing.bin", 3, {"FAIL: ", "series: not reached", "writable: no"}},
        {"zeros.bin", 3, {"size: pass", "family: FAIL: ", "part number: not reached", "writable: no"}},
    };
    for (const auto& c : cases) {
        const ProgramRun run = Vossel("check " + Quoted(c.image));
        EXPECT_EQ(run.exit_code, c.exit_code) << c.image << "\n" << run.output;
        for (const std::string& line : c.lines) {
            EXPECT_TRUE(Contains(run.output, "\n  " + line) || Contains(run.output, "\n" + line) ||
                        Contains(run.output, ": " + line))
                << c.image << ": no \"" << line << "\" in\n" << run.output;
        }
        const ProgramRun json = Vossel("check " + Quoted(c.image) + " --json");
        EXPECT_EQ(json.exit_code, c.exit_code) << json.output;
        EXPECT_EQ(JsonValue(json.output, "writable"), c.exit_code == 0 ? "true" : "false") << json.output;
    }
}

TEST_F(Cli, FlashBacksUpWritesAndVerifies) {
    const struct {
        const char* name;
        const char* board_keys;
        const char* options;
        DWORD exit_code;
        const char* says;
        bool backup;      // a backup of the old part is made
        bool part_holds;  // the part's file ends as the image
        bool part_kept;   // ... or as the old part
    } cases[] = {
        {"backup and verify", "", "--yes", 0, "verified: the part holds the image", true, true, false},
        {"no backup, clear DMI", "", "--yes --no-backup --clear-dmi", 0, "verified: the part holds the image", false,
         true, false},
        {"failing part", "CorruptWrites=1\r\n", "--yes --no-backup", 6, "VERIFY FAILED at offset 0x", false, false,
         false},
        {"the driver fails the write", "[Fail]\r\nW_Flash_Write=1\r\n", "--yes", 5, "", true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scratch_ = std::make_unique<ScratchDir>();  // each case on a board of its own
        LayOut(c.board_keys);
        const std::string old_part = MakeAwardImage(dir().File("flash.bin"), "0x11");
        const std::string image = MakeAwardImage(dir().File("new.bin"), "0x5A");
        ASSERT_EQ(old_part.size(), kPartSize);

        const ProgramRun run = Vossel("flash " + Quoted("new.bin") + " " + c.options);
        EXPECT_EQ(run.exit_code, c.exit_code) << run.output;
        EXPECT_TRUE(Contains(run.output, c.says)) << run.output;
        // Once something was written, a restart is due; the message of a
        // failed write goes to the error output.
        EXPECT_EQ(Contains(run.output, "restart"), c.exit_code != 5) << run.output;
        const std::string part = ReadAll(dir().File("flash.bin"));
        EXPECT_EQ(part == image, c.part_holds);
        EXPECT_EQ(part == old_part, c.part_kept);

        const std::vector<std::string> backups = Matching(dir().path(), "backup-*.bin");
        ASSERT_EQ(backups.size(), c.backup ? 1u : 0u);
        if (c.backup) {
            EXPECT_TRUE(ReadAll(dir().File(backups[0])) == old_part) << "the backup is not the old part";
        }
    }
}

// A driver that reports success for a read that delivered only half the part
// leaves no backup to trust: whether its count says so or the rest is zeros,
// the flash stops with exit 4 before anything is written.
TEST_F(Cli, AShortReadOfThePartIsNoBackupAndStopsTheFlash) {
    for (const char* kind : {"count", "zeros"}) {
        SCOPED_TRACE(kind);
        scratch_ = std::make_unique<ScratchDir>();
        LayOut(std::string("ShortReads=") + kind + "\r\n");
        const std::string old_part = MakeAwardImage(dir().File("flash.bin"), "0x11");
        MakeAwardImage(dir().File("new.bin"), "0x5A");

        const ProgramRun run = Vossel("flash " + Quoted("new.bin") + " --yes --json");

        EXPECT_EQ(run.exit_code, 4u) << run.output;
        EXPECT_EQ(JsonValue(run.output, "backup"), "null") << run.output;
        EXPECT_TRUE(ReadAll(dir().File("flash.bin")) == old_part) << "the part was written";
        EXPECT_TRUE(Matching(dir().path(), "backup-*").empty()) << "a backup that is not the part was left";
        EXPECT_TRUE(Matching(dir().path(), "~vs*").empty()) << "a temporary file was left";
    }
}

TEST_F(Cli, FlashRefusesAnImageTheChecksRefuse) {
    LayOut();
    const std::string old_part = MakeAwardImage(dir().File("flash.bin"), "0x11");
    WriteFile(dir().File("zeros.bin"), std::string(kPartSize, '\0'));
    const ProgramRun run = Vossel("flash " + Quoted("zeros.bin") + " --yes --json");
    EXPECT_EQ(run.exit_code, 3u) << run.output;
    EXPECT_EQ(JsonValue(run.output, "writable"), "false") << run.output;
    EXPECT_TRUE(ReadAll(dir().File("flash.bin")) == old_part) << "a refused image was written";
    EXPECT_TRUE(Matching(dir().path(), "backup-*.bin").empty());
}

TEST_F(Cli, SaveWritesThePart) {
    LayOut();
    const std::string part = MakeAwardImage(dir().File("flash.bin"), "0x3C");
    const ProgramRun saved = Vossel("save " + Quoted("saved.bin"));
    EXPECT_EQ(saved.exit_code, 0u) << saved.output;
    EXPECT_TRUE(ReadAll(dir().File("saved.bin")) == part) << "the saved file is not the part";

    const ProgramRun refused = Vossel("save " + Quoted("no such folder\\saved.bin"));
    EXPECT_EQ(refused.exit_code, 7u) << refused.output;
}

}  // namespace

namespace {

// A backup onto a full disk stops the flash before anything is written: the
// image lies on a small filesystem (the small_disks fixture) with room for
// it but not for the backup beside it.
TEST_F(Cli, ABackupThatCannotBeWrittenStopsTheFlash) {
    const char* disks = std::getenv("VOSSEL_SMALL_DISKS");
    const std::string full = disks != nullptr ? HostPathInWine(std::string(disks) + "/full/") : std::string();
    if (full.empty() || !FileExists(full + "ready")) {
        GTEST_SKIP() << "the small_disks fixture mounted no small filesystem (it needs root)";
    }
    LayOut();
    // A 128 KiB board: its image fits the disk, a second copy does not.
    std::string board = BoardFile("");
    board.replace(board.find("FlashSize=0x100000"), std::strlen("FlashSize=0x100000"), "FlashSize=0x20000");
    WriteFile(dir().File("flashsim.ini"), board);
    const std::string old_part(0x20000, '\x11');
    WriteFile(dir().File("flash.bin"), old_part);
    const std::string image_path = full + "new.bin";
    const ProgramRun made = RunProgram("\"" + ProgramDir() + "vossel-mkimage.exe\" award --size 128K --part 6A69VN01 "
                                       "-o \"" + image_path + "\"",
                                       kRunTimeoutMs);
    ASSERT_TRUE(made.finished && made.exit_code == 0) << made.output;
    const std::string older_backup = ReadAll(full + "backup.bin");

    const ProgramRun run = Vossel("flash \"" + image_path + "\" --yes");
    EXPECT_EQ(run.exit_code, 4u) << run.output;
    EXPECT_EQ(ReadAll(dir().File("flash.bin")), old_part) << "nothing was written";
    EXPECT_TRUE(Matching(full, "backup-*").empty()) << "no partial backup is left";
    EXPECT_TRUE(Matching(full, "~vs*").empty()) << "no temporary file is left";
    EXPECT_EQ(ReadAll(full + "backup.bin"), older_backup);
    DeleteFileA(image_path.c_str());
}

// update-check and update against the third built-in server of the test
// build (the e2e_ftp fixture; nothing answers on the first two): what they
// say of the catalogue's signature and digest, --require-signed, and an image
// that is not the one the catalogue pins. Signatures and digest lines are the
// signing tool's, made now.
TEST_F(Cli, UpdateTellsWhetherTheCatalogueWasAuthenticatedAndChecksTheDigest) {
    LayOut();
    const char* state = std::getenv("FTP_STATEDIR");
    ASSERT_NE(state, nullptr) << "the e2e_ftp fixture did not run";
    const std::string root = HostPathInWine(std::string(state) + "/builtin3/BIOS/");
    CreateDirectoryA(root.c_str(), nullptr);
    const std::string image = MakeAwardImage(dir().File("image.bin"), "0x6D");
    std::string tampered = image;
    tampered[0x5000] = char(tampered[0x5000] ^ 0x02);
    std::string problem, digest_line, signature;
    ASSERT_TRUE(catalogue_signing::DigestLine(image, 0, dir().path(), &digest_line, &problem)) << problem;
    const std::string digest = digest_line.substr(8, 64);
    const std::string offer = "[6A69VN01]\r\nNAME=GA-7X Rev 2\r\n0=GA-7X Rev 2 F7\r\n";
    const std::string pinned = offer + digest_line;
    ASSERT_TRUE(catalogue_signing::Sign(pinned, catalogue_signing::TestKey(), dir().path(), &signature, &problem))
        << problem;

    const std::string part = MakeAwardImage(dir().File("flash.bin"), "0x11");
    // The folder is shared with later tests, which serve unsigned catalogues.
    struct Cleanup {
        std::string root;
        ~Cleanup() {
            for (const char* file : {"bios.ini", "bios.ini.sig", "6a69vn01.0"}) DeleteFileA((root + file).c_str());
        }
    } cleanup{root};
    struct Case {
        const char* name;
        std::string catalogue;
        bool is_signed;
        std::string served;
        const char* arguments;
        DWORD exit_code;
        const char* authenticated;
        std::string digest;  // as JSON shows it
        const char* result;  // "<missing>" when the update is not run
        bool written;
    };
    const std::vector<Case> cases = {
        {"check, signed", pinned, true, image, "update-check --json", 0, "true", digest, "<missing>", false},
        {"check, unsigned without digests", offer, false, image, "update-check --json", 0, "false", "null",
         "<missing>", false},
        {"update, unsigned, signature required", offer, false, image, "update --yes --require-signed --json", 8,
         "false", "null", "<missing>", false},
        {"update, image changed after signing", pinned, true, tampered, "update --yes --json", 8, "true", digest,
         "13", false},
        {"update, signed, signature required", pinned, true, image, "update --yes --require-signed --json", 0,
         "true", digest, "0", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir().File("flash.bin"), part);
        WriteFile(root + "bios.ini", c.catalogue);
        if (c.is_signed) {
            WriteFile(root + "bios.ini.sig", signature);
        } else {
            DeleteFileA((root + "bios.ini.sig").c_str());
        }
        WriteFile(root + "6a69vn01.0", c.served);
        const ProgramRun run = Vossel(c.arguments);
        EXPECT_EQ(run.exit_code, c.exit_code) << run.output;
        EXPECT_EQ(JsonValue(run.output, "found"), "true") << run.output;
        EXPECT_EQ(JsonValue(run.output, "authenticated"), c.authenticated) << run.output;
        EXPECT_EQ(JsonValue(run.output, "digest"), c.digest) << run.output;
        EXPECT_EQ(JsonValue(run.output, "result"), c.result) << run.output;
        EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << "one object on one line: " << run.output;
        EXPECT_EQ(ReadAll(dir().File("flash.bin")), c.written ? image : part);
    }
}

}  // namespace
