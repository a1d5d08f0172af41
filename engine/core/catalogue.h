// The model catalogue bios.ini and the model dialog's decisions (CBIOSINI):
// which entries the board is offered, what choosing one means (ModelNumber,
// FileCheck, NewNumbering, or a warning), the notes, the image file name
// that goes with a model, the byte-sum rule for its download, and the first
// entry the unattended update check looks at. The dialog, its list box, the
// CMSG runs and the file access stay with the engine, which reads bios.ini
// through a ProfileReader. Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "check_messages.h"
#include "profile_values.h"

namespace vossel {

// The fetched catalogue, read from beside the engine ("%sbios.ini" with ModuleDir).
inline constexpr char kCatalogueFileName[] = "bios.ini";

// Keys of the board's section; n is the entry's list position, m a line number.
inline constexpr char kModelNameKey[] = "NAME";
inline constexpr char kNumberingFlagKey[] = "FLAG";
// "%d" lists the entries in the first numbering, "NEW%d" in the second.
inline constexpr char kSecondNumberingPrefix[] = "NEW";
inline constexpr char kFileCheckPrefix[] = "FC";        // "FC%d"
inline constexpr char kWarningVersionPrefix[] = "WARN";  // "WARN%d"
inline constexpr char kWarningLinePrefix[] = "WMSG";     // "WMSG%d%d", "WMSG%dTITLE"
inline constexpr char kNoteLinePrefix[] = "INFO";        // "INFO%d%d", "INFO%dTITLE"
inline constexpr char kTitleSuffix[] = "TITLE";

// FLAG = 1 selects the second numbering, whose model numbers are the list
// positions plus kSecondNumberingOffset.
inline constexpr int kSecondNumbering = 1;
inline constexpr int kSecondNumberingOffset = 100;

// The model-name line above the list: the prefix, then NAME.
inline constexpr char kModelNamePrefix[] = "Model Name : ";
// The title of a warning or a note without its own.
inline constexpr char kDefaultNoteTitle[] = "INFORMATION";

// CMSG's text buffers: MessageTitle 256 bytes, MessageText 1024 bytes, each
// with its terminator.
inline constexpr size_t kMessageTitleCapacity = 256;
inline constexpr size_t kMessageTextCapacity = 1024;

// Shown in a message box owned by the model dialog (OK button) when the board
// has no entries; the dialog then closes with Cancel.
inline constexpr CheckMessage kMsgNoMatchBiosFile = {
    "WARNING: No match BIOS file be found.\nPlease download file by web site.\n\nThank you very much.", "WARNING",
    kIconNone};

// The engine-wide values the model dialog leaves for the download. They keep
// their last values from one dialog run to the next.
struct ModelSelection {
    int ModelNumber = 0;       // the chosen entry's position, plus 100 in the second numbering
    double FileCheck = 0.0;    // the chosen entry's "FC%d", 0 when absent; compared with 0 and 1 exactly
    int NewNumbering = 0;      // the catalogue's FLAG, 0 when absent
};

// A warning or a note for CMSG: title for MessageTitle (at most 255 bytes),
// text for MessageText (at most 1023 bytes), each line followed by "\n".
struct CatalogueMessage {
    std::string title;
    std::string text;
};

enum class ModelDecision {
    // ModelNumber is set: close the model dialog with OK.
    kChosen,
    // Show warning in CMSG. When CMSG returns 1 (OK) close the model dialog
    // with Cancel; otherwise leave it open for another choice. ModelNumber
    // is not set.
    kWarning,
    // Choice: a selection past the list's end (the list box never gives one)
    // decides nothing and changes nothing; the dialog stays open.
    kNoEntry,
};

struct ModelChoice {
    ModelDecision decision;
    int entry;                   // the entry position the keys were formed with
    CatalogueMessage warning;    // when kWarning
};

// The board's section of bios.ini: the part number's bytes up to its first
// zero byte, at most 8 (BiosPartNumber need not be terminated).
std::string CatalogueSection(const char* biosPartNumber);

// The catalogue as the model dialog sees it for one board, from its start to
// its end. The reader must outlive it.
class ModelCatalogue {
public:
    // The dialog's start: reads NAME, sets selection->NewNumbering from FLAG
    // and reads the entries of its numbering ("NEW%d" when FLAG is 1, else
    // "%d") up to the first absent one. Choice: an empty part number has no
    // section: nothing is read and the list is empty.
    ModelCatalogue(const ProfileReader& catalogue, const char* biosPartNumber, ModelSelection* selection);

    // "Model Name : %s" with NAME ("Model Name : " when absent).
    const std::string& modelNameLine() const { return modelNameLine_; }
    // Display texts of the entries, unchanged, in list order.
    const std::vector<std::string>& entries() const { return entries_; }
    // No entries: show kMsgNoMatchBiosFile and close the dialog with Cancel.
    bool empty() const { return entries_.empty(); }

    // OK with the list selection (-1, or any negative, when nothing is
    // selected: entry 0). Sets FileCheck from "FC%d" on every decision but
    // kNoEntry, then warns when "WARN%d" is present and above
    // programVersion, else sets ModelNumber. Keys always use the list
    // position n, also in the second numbering.
    ModelChoice Choose(int listSelection, double programVersion);

    // The list's selection-cancel notification with the selection as it is
    // (-1 when nothing is selected, which forms keys such as "INFO-10"). True
    // with the note to show in CMSG (result ignored) when "INFO%d0" is
    // present; false when there is nothing to show.
    bool Note(int listSelection, CatalogueMessage* note) const;

private:
    const ProfileReader& catalogue_;
    std::string section_;
    ModelSelection* selection_;
    std::string modelNameLine_;
    std::vector<std::string> entries_;
};

// The server's (and the saved) file name of a model: "%s.%d" with the part
// number (as CatalogueSection reads it) and modelNumber, letters A to Z made
// lower case, every other byte unchanged.
std::string ImageFileName(const char* biosPartNumber, int modelNumber);

// Whether a downloaded image of total bytes may go on: FileCheck 0 asks for no
// byte-sum test, any other value for CheckImageSum with it.
bool DownloadSumAccepted(const uint8_t* image, uint32_t total, double fileCheck);

// What the unattended update check reads of a catalogue: NAME and the first
// entry "0" (whatever FLAG says).
struct UpdateCheckOffer {
    enum Kind {
        kNoEntry,    // "0" absent: the check ends with 0, other servers untried
        kNoVersion,  // "0" has no capital 'F': try the next server
        kVersion,    // version holds the entry's version
    } kind;
    std::string name;     // NAME, may be empty
    std::string version;  // the entry from its last capital 'F' to its end
    std::string text;     // "%s %s": name, one blank, version (when kVersion)
};

UpdateCheckOffer ReadUpdateCheckOffer(const ProfileReader& catalogue, const char* biosPartNumber);

}  // namespace vossel
