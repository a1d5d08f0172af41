// SaveBIOS and SaveBiosEx on the simulated board: results and messages of
// each way a save ends, the save dialog and Explorer's HideFileExt setting
// around it, path lengths, and saves onto a full disk and into a read-only
// folder (real small filesystems mounted by the small_disks fixture).
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bios_save.h"
#include "flow_fixture.h"
#include "records.h"
#include "test_images.h"

namespace {

constexpr uint32_t k512K = 0x80000;
constexpr char kSaveFilter[] =
    "BIOS file (*.bin)|*.bin|BIOS file (*.rom)|*.rom|Data file (*.dat)|*.dat|All Files (*.*)|*.*||";
constexpr char kSaveCompleted[] = "BIOS save completed !";
constexpr char kWriteFailed[] = "Can't save ROM image to the file.\nPlease check hard drive space";
constexpr char kPathUnusable[] =
    "The path of the file cannot be used !\nA path must have 1 to 259 characters of the system's code page.";
constexpr char kAdvancedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

// The three ways to save: the dialog, a given path, the silent export.
enum class Way { kDialog, kGivenPath, kSilent };
const char* Name(Way way) {
    switch (way) {
    case Way::kDialog: return "SaveBIOS(0)";
    case Way::kGivenPath: return "SaveBIOS(1)";
    case Way::kSilent: return "SaveBiosEx";
    }
    return "";
}

// HideFileExt as it stands: its value, or -1 when there is none.
long ReadHideFileExt() {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, kAdvancedKey, "HideFileExt", RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return -1;
    }
    return long(value);
}

void WriteHideFileExt(long value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kAdvancedKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (value < 0) {
        RegDeleteValueA(key, "HideFileExt");
    } else {
        const DWORD dword = DWORD(value);
        RegSetValueExA(key, "HideFileExt", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof dword);
    }
    RegCloseKey(key);
}

// The names in a folder, but . and ..
std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

// The bytes of a file named by a wide path (one longer than MAX_PATH).
std::string ReadWideFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr)) read = 0;
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

class BiosSave : public FlowTest {
protected:
    void SetUp() override {
        FlowTest::SetUp();
        hide_file_ext_ = ReadHideFileExt();
    }
    void TearDown() override {
        WriteHideFileExt(hide_file_ext_);
        FlowTest::TearDown();
    }

    // The save's result as its export gives it: SaveBIOS 1 or 0, SaveBiosEx
    // its code.
    int Save(Way way, const std::string& path) {
        switch (way) {
        case Way::kDialog: dialogs_.Choose(path); return SaveBIOS(0, nullptr);
        case Way::kGivenPath: return SaveBIOS(1, path.c_str());
        case Way::kSilent: return SaveBiosEx(0, path.c_str());
        }
        return -1;
    }
    static int Success(Way way) { return way == Way::kSilent ? kSaveExWritten : 1; }
    static int Failure(Way way, int silentCode) { return way == Way::kSilent ? silentCode : 0; }

    long hide_file_ext_ = -1;
};

TEST_F(BiosSave, EachWayOfSavingEndsWithItsResultAndMessage) {
    struct Case {
        const char* name;
        BoardFile board;
        bool existing;            // the target holds another file already
        bool read_only_target;    // ... marked read-only
        bool saved;
        int silent_code;          // SaveBiosEx's result when not saved
        bool write_failed_message;
    };
    const Case cases[] = {
        {"new file", {}, false, false, true, 0, false},
        {"existing file is replaced", {}, true, false, true, 0, false},
        {"read-only existing file stays", {}, true, true, false, kSaveExWriteFailed, false},
        {"the driver cannot read", {{"Fail", {{"W_Flash_Read", "1"}}}}, false, false, false, kSaveExReadFailed, false},
        {"the driver cannot read, existing file stays", {{"Fail", {{"W_Flash_Read", "1"}}}}, true, false, false,
         kSaveExReadFailed, false},
        {"the driver reads half the part, says so and calls it a success", {{"Flash", {{"ShortReads", "count"}}}},
         true, false, false, kSaveExReadFailed, false},
    };
    const std::string other = test_images::Pattern(1000, 99);
    for (const Case& c : cases) {
        for (Way way : {Way::kDialog, Way::kGivenPath, Way::kSilent}) {
            SCOPED_TRACE(std::string(c.name) + ", " + Name(way));
            StartBoard(k512K, 1, "6A69VN01", c.board);
            const std::string target = temp_.File("saved.bin");
            SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(target.c_str());
            if (c.existing) WriteFileBytes(target, other);
            if (c.read_only_target) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
            const std::vector<std::string> names_before = FolderNames(temp_.path());
            Engine.ProgressStatus = 0;

            const int result = Save(way, target);

            EXPECT_EQ(result, c.saved ? Success(way) : Failure(way, c.silent_code));
            if (c.saved) {
                EXPECT_EQ(ReadFileBytes(target), OldPart());
            } else {
                EXPECT_EQ(ReadFileBytes(target), c.existing ? other : std::string());
            }
            std::vector<std::string> expected;
            if (c.write_failed_message) expected.push_back(kWriteFailed);
            if (c.saved && way == Way::kDialog) expected.push_back(kSaveCompleted);
            EXPECT_EQ(boxes_.Texts(), expected);
            if (c.saved && way == Way::kDialog) {
                EXPECT_EQ(boxes_.Shown()[0].caption, "Message");
                EXPECT_EQ(boxes_.Shown()[0].icon, UINT(MB_ICONINFORMATION));
                EXPECT_EQ(boxes_.Shown()[0].owner, nullptr);
            }
            std::vector<std::string> names_after = FolderNames(temp_.path());
            if (!c.existing && c.saved) names_after.erase(std::remove(names_after.begin(), names_after.end(),
                                                                      std::string("saved.bin")),
                                                          names_after.end());
            EXPECT_EQ(names_after, names_before) << "no temporary file is left";
            EXPECT_EQ(Engine.Busy.load(), 0);
            EXPECT_EQ(Engine.ProgressStatus.load(), 0);
            SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
}

TEST_F(BiosSave, TheSaveDialogAsksForABinFileAndCancellingSavesNothing) {
    StartBoard(k512K, 1, "6A69VN01");
    dialogs_.CancelFileDialog();
    EXPECT_EQ(SaveBIOS(0, nullptr), 0);
    const std::vector<FileDialogRequest> asked = dialogs_.FileDialogs();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_FALSE(asked[0].open);
    EXPECT_EQ(asked[0].defaultExtension, "bin");
    EXPECT_EQ(asked[0].fileName, "");
    EXPECT_EQ(asked[0].filter, kSaveFilter);
    EXPECT_EQ(asked[0].flags, DWORD(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER));
    EXPECT_EQ(asked[0].owner, nullptr);
    EXPECT_TRUE(asked[0].vistaStyle);
    EXPECT_TRUE(boxes_.Shown().empty());
    EXPECT_EQ(Calls({"W_Flash_Read"}), std::vector<std::string>{});
    EXPECT_EQ(Engine.Busy.load(), 0);
    EXPECT_EQ(Engine.ProgressStatus.load(), kStatusNone) << "a cancelled save never enters the saving phase";
    EXPECT_EQ(SaveBIOS(2, temp_.File("x.bin").c_str()), 0) << "no such mode";
    EXPECT_EQ(dialogs_.FileDialogs().size(), 1u);
}

TEST_F(BiosSave, ExtensionsShowWhileTheSaveDialogIsOpenAndTheSettingComesBack) {
    struct Case {
        long before;  // -1: no value
        long during;
    };
    const Case cases[] = {{-1, -1}, {0, 0}, {1, 0}, {2, 0}};
    for (const Case& c : cases) {
        for (bool chosen : {true, false}) {
            SCOPED_TRACE("HideFileExt " + std::to_string(c.before) + (chosen ? ", saved" : ", cancelled"));
            StartBoard(k512K, 1, "6A69VN01");
            WriteHideFileExt(c.before);
            long during = -2;
            dialogs_.WhileFileDialogOpen([&] { during = ReadHideFileExt(); });
            if (chosen) {
                dialogs_.Choose(temp_.File("saved.bin"));
            } else {
                dialogs_.CancelFileDialog();
            }
            EXPECT_EQ(SaveBIOS(0, nullptr), chosen ? 1 : 0);
            EXPECT_EQ(during, c.during);
            // A setting that was on comes back as 1, the value Explorer writes.
            EXPECT_EQ(ReadHideFileExt(), c.before > 0 ? 1 : c.before);
        }
    }
}

TEST_F(BiosSave, ThePartIsReadInTheSavingPhaseOnlyWhenTheUserChoseTheFile) {
    for (Way way : {Way::kDialog, Way::kSilent}) {
        SCOPED_TRACE(Name(way));
        StartBoard(k512K, 1, "6A69VN01");
        sim_.FlashSim_HoldAt(kStatusReading, 50);
        std::atomic<int> result{-1};
        std::thread saver([&] { result = Save(way, temp_.File("saved.bin")); });
        ASSERT_EQ(sim_.FlashSim_WaitHeld(30000), 1);
        EXPECT_EQ(Engine.Busy.load(), 1);
        EXPECT_EQ(Engine.ProgressStatus.load(), way == Way::kDialog ? kStatusSaving : kStatusNone);
        EXPECT_EQ(Engine.ProgressPercent.load(), 100);
        sim_.FlashSim_Release();
        saver.join();
        EXPECT_EQ(result.load(), Success(way));
        EXPECT_EQ(ReadFileBytes(temp_.File("saved.bin")), OldPart());
    }
}

TEST_F(BiosSave, TargetPathsUpTo259CharactersAreSavedAndLongerOnesRefused) {
    const std::string folder = temp_.path() + std::string(120, 'd');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    auto path_of = [&](size_t length) { return folder + "\\" + std::string(length - folder.size() - 5, 'f') + ".bin"; };
    for (size_t length : {259u, 260u, 1000u}) {
        for (Way way : {Way::kDialog, Way::kGivenPath}) {
            SCOPED_TRACE(std::to_string(length) + ", " + Name(way));
            StartBoard(k512K, 1, "6A69VN01");
            const std::string path = path_of(length);
            ASSERT_EQ(path.size(), length);
            if (length < MAX_PATH) {
                EXPECT_EQ(Save(way, path), 1);
                EXPECT_EQ(ReadFileBytes(path), OldPart());
                DeleteFileA(path.c_str());
                continue;
            }
            EXPECT_EQ(Save(way, path), 0);
            ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{kPathUnusable});
            EXPECT_EQ(boxes_.Shown()[0].icon, UINT(MB_ICONERROR));
            EXPECT_EQ(Calls({"W_Flash_Read"}), std::vector<std::string>{}) << "refused before the part is read";
            EXPECT_EQ(Engine.Busy.load(), 0);
        }
    }
    // The silent save copies no path into a buffer of its own: a long path
    // (in a folder two levels deep) is saved as given.
    StartBoard(k512K, 1, "6A69VN01");
    const std::string deeper = folder + "\\" + std::string(120, 'e');
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + std::wstring(deeper.begin(), deeper.end())).c_str(), nullptr));
    const std::string long_path = deeper + "\\saved.bin";
    EXPECT_EQ(SaveBiosEx(0, long_path.c_str()), kSaveExWritten);
    const std::wstring wide_path = L"\\\\?\\" + std::wstring(long_path.begin(), long_path.end());
    EXPECT_EQ(ReadWideFile(wide_path), OldPart());
    DeleteFileW(wide_path.c_str());
    RemoveDirectoryW((L"\\\\?\\" + std::wstring(deeper.begin(), deeper.end())).c_str());

    // No path at all.
    ClearRecords();
    EXPECT_EQ(SaveBIOS(1, nullptr), 0);
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{kPathUnusable});
    EXPECT_EQ(SaveBIOS(1, ""), 0);
    EXPECT_EQ(SaveBiosEx(0, nullptr), kSaveExWriteFailed);
}

// A target whose last component is long, at the path limit: in a folder with
// a short path (under the host's /tmp), its name takes 247 characters, close
// to the 255 a file system allows a name. The temporary file the save writes
// first must fit that folder too.
TEST_F(BiosSave, ALongLastNameAtThePathLimitIsSavedEveryWay) {
    std::string folder;
    for (unsigned n = GetCurrentProcessId() & 0xFFF, tries = 0; tries < 0x1000 && folder.empty(); ++tries, ++n) {
        char name[16];
        snprintf(name, sizeof name, "Z:\\tmp\\v%x", n & 0xFFF);
        if (CreateDirectoryA(name, nullptr)) folder = std::string(name) + "\\";
    }
    ASSERT_FALSE(folder.empty()) << "no folder of a short path could be made under Z:\\tmp";
    const std::string path = folder + std::string(259 - folder.size() - 4, 'f') + ".bin";
    ASSERT_EQ(path.size(), 259u);
    ASSERT_GE(path.size() - folder.size(), 245u);
    const std::wstring wide_path = L"\\\\?\\" + std::wstring(path.begin(), path.end());
    for (Way way : {Way::kDialog, Way::kGivenPath, Way::kSilent}) {
        SCOPED_TRACE(Name(way));
        StartBoard(k512K, 1, "6A69VN01");
        EXPECT_EQ(Save(way, path), Success(way));
        EXPECT_EQ(ReadWideFile(wide_path), OldPart());
        EXPECT_EQ(FolderNames(folder), std::vector<std::string>{path.substr(folder.size())})
            << "no temporary file is left";
        DeleteFileW(wide_path.c_str());
    }
    RemoveDirectoryA(folder.c_str());
}

// ------------------------------------------------------------ small disks

// The folders the small_disks fixture mounted: "full", a filesystem too small
// for a 512 KiB part that holds an older backup, and "readonly", a read-only
// one holding a file; as Wine sees them. Empty when the fixture could not
// mount them (it needs root).
std::string SmallDisk(const char* name) {
    const char* root = std::getenv("VOSSEL_SMALL_DISKS");
    if (root == nullptr || *root == '\0') return {};
    const std::string path = HostPathInWine(std::string(root) + "/" + name + "/");
    if (GetFileAttributesA((path + "ready").c_str()) == INVALID_FILE_ATTRIBUTES) return {};
    return path;
}

TEST_F(BiosSave, AFullDiskKeepsTheOlderBackupAndLeavesNoPartialImage) {
    const std::string full = SmallDisk("full");
    if (full.empty()) GTEST_SKIP() << "the small_disks fixture mounted no small filesystem (it needs root)";
    const std::string backup = full + "backup.bin";
    const std::string older = ReadFileBytes(backup);
    ASSERT_FALSE(older.empty());
    const std::vector<std::string> names = FolderNames(full);
    for (Way way : {Way::kDialog, Way::kGivenPath, Way::kSilent}) {
        for (const std::string& target : {backup, full + "new.bin"}) {
            SCOPED_TRACE(std::string(Name(way)) + " to " + target);
            StartBoard(k512K, 1, "6A69VN01");
            EXPECT_EQ(Save(way, target), Failure(way, kSaveExWriteFailed));
            ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{kWriteFailed});
            EXPECT_EQ(boxes_.Shown()[0].caption, "Error");
            EXPECT_EQ(boxes_.Shown()[0].icon, UINT(MB_ICONERROR));
            EXPECT_EQ(ReadFileBytes(backup), older);
            EXPECT_EQ(FolderNames(full), names);
            EXPECT_EQ(Engine.Busy.load(), 0);
            EXPECT_EQ(Engine.ProgressStatus.load(), 0);
        }
    }
}

TEST_F(BiosSave, AReadOnlyFolderTakesNoFileAndKeepsItsOwn) {
    const std::string folder = SmallDisk("readonly");
    if (folder.empty()) GTEST_SKIP() << "the small_disks fixture mounted no small filesystem (it needs root)";
    const std::string existing = folder + "backup.bin";
    const std::string older = ReadFileBytes(existing);
    ASSERT_FALSE(older.empty());
    const std::vector<std::string> names = FolderNames(folder);
    for (Way way : {Way::kDialog, Way::kGivenPath, Way::kSilent}) {
        for (const std::string& target : {existing, folder + "new.bin"}) {
            SCOPED_TRACE(std::string(Name(way)) + " to " + target);
            StartBoard(k512K, 1, "6A69VN01");
            EXPECT_EQ(Save(way, target), Failure(way, kSaveExWriteFailed));
            EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{}) << "a file that cannot be created has no message";
            EXPECT_EQ(ReadFileBytes(existing), older);
            EXPECT_EQ(FolderNames(folder), names);
            EXPECT_EQ(Engine.Busy.load(), 0);
        }
    }
}

}  // namespace
