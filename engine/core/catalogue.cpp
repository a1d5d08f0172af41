#include "catalogue.h"

#include <cstring>

#include "image_checks.h"
#include "records.h"

namespace vossel {
namespace {

std::string EntryKey(int numbering, int n) {
    return numbering == kSecondNumbering ? kSecondNumberingPrefix + std::to_string(n) : std::to_string(n);
}

std::string KeyOf(const char* prefix, int n) { return prefix + std::to_string(n); }

// The text CMSG shows from "<prefix><n><m>" for m = 0, 1, ... up to the first
// absent line, each line followed by "\n". False when line 0 is absent.
// Choice: MessageText holds 1023 characters; a longer text is cut there,
// inside a line if need be, and no further line is read. Every present line
// adds at least two characters, so the reading ends.
bool ReadMessageLines(const ProfileReader& reader, const std::string& section, const char* prefix, int n,
                      std::string* text) {
    constexpr size_t kMaxText = kMessageTextCapacity - 1;
    const std::string entryPrefix = KeyOf(prefix, n);
    std::string lines;
    for (int m = 0; lines.size() < kMaxText; ++m) {
        const std::string line = ReadProfileValue(reader, section, entryPrefix + std::to_string(m));
        if (line.empty()) {
            break;
        }
        lines += line;
        lines += '\n';
    }
    if (lines.empty()) {
        return false;
    }
    if (lines.size() > kMaxText) {
        lines.resize(kMaxText);
    }
    *text = std::move(lines);
    return true;
}

// "<prefix><n>TITLE", or "INFORMATION" when absent; MessageTitle holds 255
// characters.
std::string ReadMessageTitle(const ProfileReader& reader, const std::string& section, const char* prefix, int n) {
    std::string title = ReadProfileValue(reader, section, KeyOf(prefix, n) + kTitleSuffix);
    if (title.empty()) {
        title = kDefaultNoteTitle;
    }
    if (title.size() > kMessageTitleCapacity - 1) {
        title.resize(kMessageTitleCapacity - 1);
    }
    return title;
}

}  // namespace

std::string CatalogueSection(const char* biosPartNumber) {
    if (biosPartNumber == nullptr) {
        return std::string();
    }
    return std::string(biosPartNumber, strnlen(biosPartNumber, kPartNumberLength));
}

ModelCatalogue::ModelCatalogue(const ProfileReader& catalogue, const char* biosPartNumber, ModelSelection* selection)
    : catalogue_(catalogue), section_(CatalogueSection(biosPartNumber)), selection_(selection),
      modelNameLine_(kModelNamePrefix) {
    if (section_.empty()) {
        selection_->NewNumbering = 0;
        return;
    }
    modelNameLine_ += ReadProfileValue(catalogue_, section_, kModelNameKey);
    const std::string flag = ReadProfileValue(catalogue_, section_, kNumberingFlagKey);
    selection_->NewNumbering = flag.empty() ? 0 : LeadingDecimalInteger(flag);
    for (int n = 0; n < kMaxNumberedEntries; ++n) {
        std::string entry = ReadProfileValue(catalogue_, section_, EntryKey(selection_->NewNumbering, n));
        if (entry.empty()) {
            break;
        }
        entries_.push_back(std::move(entry));
    }
}

ModelChoice ModelCatalogue::Choose(int listSelection, double programVersion) {
    ModelChoice choice{};
    const int n = listSelection < 0 ? 0 : listSelection;
    choice.entry = n;
    if (static_cast<size_t>(n) >= entries_.size()) {
        choice.decision = ModelDecision::kNoEntry;
        return choice;
    }
    const std::string fileCheck = ReadProfileValue(catalogue_, section_, KeyOf(kFileCheckPrefix, n));
    selection_->FileCheck = fileCheck.empty() ? 0.0 : LeadingDecimalNumber(fileCheck);

    const std::string lowestVersion = ReadProfileValue(catalogue_, section_, KeyOf(kWarningVersionPrefix, n));
    if (!lowestVersion.empty() && LeadingDecimalNumber(lowestVersion) > programVersion) {
        choice.decision = ModelDecision::kWarning;
        choice.warning.title = ReadMessageTitle(catalogue_, section_, kWarningLinePrefix, n);
        if (!ReadMessageLines(catalogue_, section_, kWarningLinePrefix, n, &choice.warning.text)) {
            // Choice: a warning without lines says what every warning means
            // (this program is too old for the entry) rather than showing
            // whatever an earlier warning or note left in MessageText.
            choice.warning.text = std::string(kMsgUpdateUtility.text) + "\n";
        }
        return choice;
    }
    selection_->ModelNumber = selection_->NewNumbering == kSecondNumbering ? n + kSecondNumberingOffset : n;
    choice.decision = ModelDecision::kChosen;
    return choice;
}

bool ModelCatalogue::Note(int listSelection, CatalogueMessage* note) const {
    if (section_.empty()) {
        return false;
    }
    CatalogueMessage found;
    if (!ReadMessageLines(catalogue_, section_, kNoteLinePrefix, listSelection, &found.text)) {
        return false;
    }
    found.title = ReadMessageTitle(catalogue_, section_, kNoteLinePrefix, listSelection);
    *note = std::move(found);
    return true;
}

std::string ImageFileName(const char* biosPartNumber, int modelNumber) {
    std::string name = CatalogueSection(biosPartNumber) + "." + std::to_string(modelNumber);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return name;
}

bool DownloadSumAccepted(const uint8_t* image, uint32_t total, double fileCheck) {
    return fileCheck == 0.0 || CheckImageSum(image, total, fileCheck) == 1;
}

UpdateCheckOffer ReadUpdateCheckOffer(const ProfileReader& catalogue, const char* biosPartNumber) {
    UpdateCheckOffer offer{};
    offer.kind = UpdateCheckOffer::kNoEntry;
    const std::string section = CatalogueSection(biosPartNumber);
    if (section.empty()) {
        return offer;
    }
    offer.name = ReadProfileValue(catalogue, section, kModelNameKey);
    const std::string entry = ReadProfileValue(catalogue, section, EntryKey(0, 0));
    if (entry.empty()) {
        return offer;
    }
    const size_t lastF = entry.rfind('F');
    if (lastF == std::string::npos) {
        offer.kind = UpdateCheckOffer::kNoVersion;
        return offer;
    }
    offer.kind = UpdateCheckOffer::kVersion;
    offer.version = entry.substr(lastF);
    offer.text = offer.name + " " + offer.version;
    return offer;
}

}  // namespace vossel
