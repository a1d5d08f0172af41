// Properties of the site and model decisions on any config.ini and bios.ini
// text. Input: the model dialog's list selection (signed byte), the site
// dialog's selection (signed byte), a byte whose low bit takes the board's
// part number from the text's first section (an unterminated 9-byte record
// field in a heap block of exactly 9 bytes) instead of "8IK1100X", then the
// INI text, which serves as both files: "[name]" lines open sections,
// "key=value" lines give values of any bytes, the first one of a name counts.
//
// Every value must arrive cut as the engine's buffer cuts it, every list must
// end at the first absent number, a site must be handed back only when all
// four values fit their fields, each in a terminated field, the model state
// must change only as the decision says, and every message must fit CMSG's
// buffers.
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "catalogue.h"
#include "fuzz_check.h"
#include "records.h"
#include "server_config.h"

namespace {

std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

class TextProfile : public vossel::ProfileReader {
public:
    explicit TextProfile(const std::string& text) {
        std::string section;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) {
                end = text.size();
            }
            const std::string line = text.substr(start, end - start);
            start = end + 1;
            const size_t close = line.find(']');
            if (!line.empty() && line[0] == '[' && close != std::string::npos) {
                section = line.substr(1, close - 1);
                if (firstSection.empty()) {
                    firstSection = section;
                }
                continue;
            }
            const size_t equals = line.find('=');
            if (equals != std::string::npos) {
                values_.emplace(std::make_pair(Upper(section), Upper(line.substr(0, equals))), line.substr(equals + 1));
            }
        }
    }
    std::string Get(const std::string& section, const std::string& key) const override {
        const auto found = values_.find({Upper(section), Upper(key)});
        return found == values_.end() ? std::string() : found->second;
    }
    // The value as the engine must see it: up to a zero byte, at most 254 bytes.
    std::string Cut(const std::string& section, const std::string& key) const {
        std::string value = Get(section, key);
        value = value.substr(0, value.find('\0'));
        return value.substr(0, vossel::kProfileValueMaxLength);
    }

    std::string firstSection;

private:
    std::map<std::pair<std::string, std::string>, std::string> values_;
};

bool FieldHolds(const char (&field)[vossel::kServerFieldSize], const std::string& value) {
    if (value.size() > vossel::kServerFieldMaxLength || std::memcmp(field, value.data(), value.size()) != 0) {
        return false;
    }
    for (size_t i = value.size(); i < vossel::kServerFieldSize; ++i) {
        if (field[i] != '\0') {
            return false;
        }
    }
    return true;
}

void CheckSites(const TextProfile& config, int selection) {
    using namespace vossel;
    const SiteList list = ReadSiteList(config);
    FUZZ_CHECK(list.names.size() <= static_cast<size_t>(kMaxNumberedEntries));
    for (size_t n = 0; n < list.names.size(); ++n) {
        FUZZ_CHECK(!list.names[n].empty() && list.names[n] == config.Cut(kServerListSection, std::to_string(n)));
    }
    FUZZ_CHECK(config.Cut(kServerListSection, std::to_string(list.names.size())).empty());
    FUZZ_CHECK(list.preselected >= -1 && list.preselected < static_cast<int>(list.names.size()));

    const SiteChoice choice = ChooseSite(config, selection);
    const std::string section = std::to_string(selection);
    FUZZ_CHECK(choice.defaultText == section);
    const std::string values[] = {config.Cut(section, kSiteAddressKey), config.Cut(section, kSiteDirectoryKey),
                                  config.Cut(section, kSiteUsernameKey), config.Cut(section, kSitePasswordKey)};
    bool fit = true;
    for (const std::string& value : values) {
        fit = fit && value.size() <= kServerFieldMaxLength;
    }
    FUZZ_CHECK(choice.accepted == fit);
    if (choice.accepted) {
        FUZZ_CHECK(choice.refusalText.empty());
        FUZZ_CHECK(FieldHolds(choice.site.Address, values[0]) && FieldHolds(choice.site.Directory, values[1]) &&
                   FieldHolds(choice.site.Username, values[2]) && FieldHolds(choice.site.Password, values[3]));
    } else {
        FUZZ_CHECK(!choice.refusalText.empty());
        FUZZ_CHECK(FieldHolds(choice.site.Address, "") && FieldHolds(choice.site.Password, ""));
    }
}

void CheckMessage(const vossel::CatalogueMessage& message) {
    FUZZ_CHECK(!message.title.empty() && message.title.size() < vossel::kMessageTitleCapacity);
    FUZZ_CHECK(!message.text.empty() && message.text.size() < vossel::kMessageTextCapacity);
    FUZZ_CHECK(message.text.size() == vossel::kMessageTextCapacity - 1 || message.text.back() == '\n');
}

void CheckCatalogue(const TextProfile& catalogue, const char* partNumber, int listSelection) {
    using namespace vossel;
    const std::string section = CatalogueSection(partNumber);
    FUZZ_CHECK(section.size() <= ::kPartNumberLength && section.find('\0') == std::string::npos);

    ModelSelection state;
    state.ModelNumber = -7;
    state.FileCheck = -7.0;
    ModelCatalogue models(catalogue, partNumber, &state);
    const std::string flag = section.empty() ? "" : catalogue.Cut(section, kNumberingFlagKey);
    FUZZ_CHECK(state.NewNumbering == (flag.empty() ? 0 : LeadingDecimalInteger(flag)));
    const std::string prefix = state.NewNumbering == kSecondNumbering ? kSecondNumberingPrefix : "";
    const std::vector<std::string>& entries = models.entries();
    FUZZ_CHECK(entries.size() <= static_cast<size_t>(kMaxNumberedEntries));
    for (size_t n = 0; n < entries.size(); ++n) {
        FUZZ_CHECK(!entries[n].empty() && entries[n] == catalogue.Cut(section, prefix + std::to_string(n)));
    }
    FUZZ_CHECK(section.empty() || catalogue.Cut(section, prefix + std::to_string(entries.size())).empty());
    FUZZ_CHECK(models.modelNameLine().compare(0, std::strlen(kModelNamePrefix), kModelNamePrefix) == 0);
    FUZZ_CHECK(models.modelNameLine().size() <= std::strlen(kModelNamePrefix) + kProfileValueMaxLength);

    const ModelChoice choice = models.Choose(listSelection, 2.34);
    const int n = listSelection < 0 ? 0 : listSelection;
    FUZZ_CHECK(choice.entry == n);
    if (static_cast<size_t>(n) >= entries.size()) {
        FUZZ_CHECK(choice.decision == ModelDecision::kNoEntry);
        FUZZ_CHECK(state.ModelNumber == -7 && state.FileCheck == -7.0);
    } else {
        const std::string fileCheck = catalogue.Cut(section, "FC" + std::to_string(n));
        const double expected = fileCheck.empty() ? 0.0 : LeadingDecimalNumber(fileCheck);
        FUZZ_CHECK(state.FileCheck == expected);
        const std::string warn = catalogue.Cut(section, "WARN" + std::to_string(n));
        const bool warns = !warn.empty() && LeadingDecimalNumber(warn) > 2.34;
        if (warns) {
            FUZZ_CHECK(choice.decision == ModelDecision::kWarning && state.ModelNumber == -7);
            CheckMessage(choice.warning);
        } else {
            FUZZ_CHECK(choice.decision == ModelDecision::kChosen);
            FUZZ_CHECK(state.ModelNumber == (state.NewNumbering == kSecondNumbering ? n + 100 : n));
        }
    }

    CatalogueMessage note;
    const bool shown = models.Note(listSelection, &note);
    const std::string firstNoteLine = "INFO" + std::to_string(listSelection) + "0";
    FUZZ_CHECK(shown == (!section.empty() && !catalogue.Cut(section, firstNoteLine).empty()));
    if (shown) {
        CheckMessage(note);
    }

    std::string lowerSection = section;
    for (char& c : lowerSection) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    FUZZ_CHECK(ImageFileName(partNumber, state.ModelNumber) == lowerSection + "." + std::to_string(state.ModelNumber));

    const UpdateCheckOffer offer = ReadUpdateCheckOffer(catalogue, partNumber);
    if (offer.kind == UpdateCheckOffer::kVersion) {
        FUZZ_CHECK(!offer.version.empty() && offer.version[0] == 'F');
        FUZZ_CHECK(offer.version.find('F', 1) == std::string::npos);
        FUZZ_CHECK(offer.text == offer.name + " " + offer.version);
    } else {
        FUZZ_CHECK(offer.version.empty() && offer.text.empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const int listSelection = static_cast<int8_t>(data[0]);
    const int siteSelection = static_cast<int8_t>(data[1]);
    const bool partFromText = (data[2] & 1) != 0;
    const TextProfile profile(std::string(reinterpret_cast<const char*>(data + 3), size - 3));

    std::unique_ptr<char[]> partNumber(new char[9]);
    std::memset(partNumber.get(), 0, 9);
    const std::string part = partFromText ? profile.firstSection : std::string("8IK1100X");
    std::memcpy(partNumber.get(), part.data(), part.size() < 9 ? part.size() : 9);

    CheckSites(profile, siteSelection);
    CheckCatalogue(profile, partNumber.get(), listSelection);
    return 0;
}
