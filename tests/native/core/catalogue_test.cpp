#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "catalogue.h"

namespace vossel {
namespace {

constexpr char kBoard[] = "8IK1100X";

struct Value {
    std::string key;
    std::string value;
};

// bios.ini in memory with one section for kBoard; names match without regard
// to case, as the platform reader does.
class FakeCatalogue : public ProfileReader {
public:
    FakeCatalogue(std::initializer_list<Value> values) {
        for (const Value& v : values) {
            Set(v.key, v.value);
        }
    }
    void Set(const std::string& key, const std::string& value, const std::string& section = kBoard) {
        values_[{Upper(section), Upper(key)}] = value;
    }
    std::string Get(const std::string& section, const std::string& key) const override {
        const auto found = values_.find({Upper(section), Upper(key)});
        return found == values_.end() ? std::string() : found->second;
    }

private:
    static std::string Upper(std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
        return s;
    }
    std::map<std::pair<std::string, std::string>, std::string> values_;
};

TEST(ModelCatalogue, ListsTheEntriesOfTheCataloguesNumbering) {
    struct Case {
        const char* what;
        FakeCatalogue catalogue;
        std::vector<std::string> entries;
        int newNumbering;
        std::string modelNameLine;
    };
    const Case cases[] = {
        {"second numbering",
         {{"NAME", "8IK1100"}, {"FLAG", "1"}, {"0", "old F1"}, {"NEW0", "8IK1100 F5"}, {"NEW1", "8IK1100 F6"}},
         {"8IK1100 F5", "8IK1100 F6"},
         1,
         "Model Name : 8IK1100"},
        {"first numbering", {{"0", "rev 1.0 F3"}, {"1", "rev 2.0 F4"}, {"NEW0", "x"}}, {"rev 1.0 F3", "rev 2.0 F4"}, 0,
         "Model Name : "},
        {"another FLAG value is the first numbering", {{"FLAG", "2"}, {"0", "a"}, {"NEW0", "b"}}, {"a"}, 2,
         "Model Name : "},
        {"FLAG is read as its leading number", {{"FLAG", " 1st"}, {"0", "a"}, {"NEW0", "b"}}, {"b"}, 1,
         "Model Name : "},
        {"a gap ends the list", {{"0", "a"}, {"2", "c"}}, {"a"}, 0, "Model Name : "},
        {"no entries", {{"NAME", "8IK1100"}, {"FLAG", "1"}, {"0", "a"}}, {}, 1, "Model Name : 8IK1100"},
        {"no file", {}, {}, 0, "Model Name : "},
        {"texts are shown unchanged and cut as read",
         {{"NAME", std::string(300, 'N')}, {"0", "\xC4\xE3 #F7#&"}, {"1", std::string(999, 'e')}},
         {"\xC4\xE3 #F7#&", std::string(254, 'e')},
         0,
         "Model Name : " + std::string(254, 'N')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelSelection selection;
        selection.NewNumbering = 77;
        const ModelCatalogue catalogue(c.catalogue, kBoard, &selection);
        EXPECT_EQ(c.entries, catalogue.entries());
        EXPECT_EQ(c.entries.empty(), catalogue.empty());
        EXPECT_EQ(c.newNumbering, selection.NewNumbering);
        EXPECT_EQ(c.modelNameLine, catalogue.modelNameLine());
    }
}

TEST(ModelCatalogue, OnlyTheBoardsOwnSectionCounts) {
    FakeCatalogue file{};
    file.Set("0", "other board F9", "8IK1100Y");
    file.Set("0", "8IK1100 F5", kBoard);
    struct Case {
        const char* what;
        std::string partNumber;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {"the board", kBoard, {"8IK1100 F5"}},
        {"names match without regard to case", "8ik1100x", {"8IK1100 F5"}},
        {"a record's part number need not be terminated", std::string(kBoard) + "Z", {"8IK1100 F5"}},
        {"a shorter part number", "8IK1100", {}},
        {"an empty part number has no section", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelSelection selection;
        EXPECT_EQ(c.entries, ModelCatalogue(file, c.partNumber.c_str(), &selection).entries());
    }
}

TEST(ModelCatalogue, ChoosingAnEntry) {
    const double kVersion = 2.34;
    struct Case {
        const char* what;
        FakeCatalogue catalogue;
        int selection;
        ModelDecision decision;
        int modelNumber;  // 55: left as it was
        double fileCheck;
        CatalogueMessage warning;
    };
    const Case cases[] = {
        {"second numbering: position plus 100, keys of the position",
         {{"FLAG", "1"}, {"NEW0", "a"}, {"NEW1", "b"}, {"FC1", "1"}, {"FC101", "2"}, {"WARN101", "9"}},
         1, ModelDecision::kChosen, 101, 1.0, {}},
        {"first numbering", {{"0", "a"}, {"1", "b"}, {"FC1", "2.5"}}, 1, ModelDecision::kChosen, 1, 2.5, {}},
        {"nothing selected takes entry 0", {{"0", "a"}, {"1", "b"}, {"FC0", "1"}}, -1, ModelDecision::kChosen, 0, 1.0,
         {}},
        {"FC absent and FC without a number are 0", {{"0", "a"}, {"1", "b"}, {"FC1", "x"}}, 1, ModelDecision::kChosen,
         1, 0.0, {}},
        {"a warning version equal to the program's does not warn", {{"0", "a"}, {"WARN0", "2.34"}, {"WMSG00", "w"}},
         0, ModelDecision::kChosen, 0, 0.0, {}},
        {"a warning version without a number does not warn", {{"0", "a"}, {"WARN0", "new"}, {"WMSG00", "w"}}, 0,
         ModelDecision::kChosen, 0, 0.0, {}},
        {"a higher warning version warns; FileCheck is still set",
         {{"0", "a"}, {"FC0", "1"}, {"WARN0", "2.35"}, {"WMSG00", "Line 0"}, {"WMSG01", "Line 1"}, {"WMSG03", "x"},
          {"WMSG0TITLE", "Newer tool needed"}},
         0, ModelDecision::kWarning, 55, 1.0, {"Newer tool needed", "Line 0\nLine 1\n"}},
        {"a warning without a title",
         {{"FLAG", "1"}, {"NEW0", "a"}, {"WARN0", "3"}, {"WMSG00", "#Stop#"}}, 0, ModelDecision::kWarning, 55, 0.0,
         {"INFORMATION", "#Stop#\n"}},
        {"a warning without lines says the program is too old",
         {{"0", "a"}, {"WARN0", "2.4"}}, 0, ModelDecision::kWarning, 55, 0.0,
         {"INFORMATION", "Please update Zorvik to the latest version then start updating your system BIOS.\n"}},
        {"entry 1 line 10 and entry 11 line 0 share WMSG110",
         {{"0", "a"}, {"1", "b"}, {"WARN1", "9"}, {"WMSG10", "ten lines"}, {"WMSG11", "1"}, {"WMSG12", "2"},
          {"WMSG13", "3"}, {"WMSG14", "4"}, {"WMSG15", "5"}, {"WMSG16", "6"}, {"WMSG17", "7"}, {"WMSG18", "8"},
          {"WMSG19", "9"}, {"WMSG110", "shared"}},
         1, ModelDecision::kWarning, 55, 0.0, {"INFORMATION", "ten lines\n1\n2\n3\n4\n5\n6\n7\n8\n9\nshared\n"}},
        {"a selection past the end decides nothing", {{"0", "a"}, {"FC1", "1"}}, 1, ModelDecision::kNoEntry, 55, 9.0,
         {}},
        {"an empty list decides nothing", {{"FC0", "1"}}, -1, ModelDecision::kNoEntry, 55, 9.0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelSelection selection;
        selection.ModelNumber = 55;
        selection.FileCheck = 9.0;
        ModelCatalogue catalogue(c.catalogue, kBoard, &selection);
        const ModelChoice choice = catalogue.Choose(c.selection, kVersion);
        EXPECT_EQ(c.decision, choice.decision);
        EXPECT_EQ(c.modelNumber, selection.ModelNumber);
        EXPECT_EQ(c.fileCheck, selection.FileCheck);
        EXPECT_EQ(c.warning.title, choice.warning.title);
        EXPECT_EQ(c.warning.text, choice.warning.text);
    }
}

TEST(ModelCatalogue, AWarningLongerThanMessageTextIsCutToIt) {
    FakeCatalogue file{{"0", "a"}, {"WARN0", "3"}, {"WMSG0TITLE", std::string(400, 'T')}};
    std::string expected;
    for (int m = 0; m < 500; ++m) {
        file.Set("WMSG0" + std::to_string(m), std::string(254, static_cast<char>('a' + m % 26)));
        expected += std::string(254, static_cast<char>('a' + m % 26)) + "\n";
    }
    ModelSelection selection;
    ModelCatalogue catalogue(file, kBoard, &selection);
    const ModelChoice choice = catalogue.Choose(0, 2.34);
    ASSERT_EQ(ModelDecision::kWarning, choice.decision);
    EXPECT_EQ(expected.substr(0, kMessageTextCapacity - 1), choice.warning.text);
    EXPECT_EQ(std::string(254, 'T'), choice.warning.title);
}

TEST(ModelCatalogue, NotesForTheSelection) {
    const FakeCatalogue file{{"0", "a"},           {"1", "b"},           {"INFO00", "Note 0"}, {"INFO01", "Note 1"},
                             {"INFO1TITLE", "T1"}, {"INFO10", "For b"},  {"INFO-10", "None"},  {"INFO2", "x"}};
    struct Case {
        int selection;
        bool shown;
        CatalogueMessage note;
    };
    const Case cases[] = {
        {0, true, {"INFORMATION", "Note 0\nNote 1\n"}},
        {1, true, {"T1", "For b\n"}},
        {-1, true, {"INFORMATION", "None\n"}},  // nothing selected forms the keys with -1
        {2, false, {"untouched", "untouched"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selection);
        ModelSelection selection;
        const ModelCatalogue catalogue(file, kBoard, &selection);
        CatalogueMessage note{"untouched", "untouched"};
        EXPECT_EQ(c.shown, catalogue.Note(c.selection, &note));
        EXPECT_EQ(c.note.title, note.title);
        EXPECT_EQ(c.note.text, note.text);
    }
}

TEST(ModelCatalogue, AThousandEntriesInEitherNumbering) {
    for (const int flag : {0, 1}) {
        SCOPED_TRACE(flag);
        FakeCatalogue file{{"FLAG", std::to_string(flag)}, {"FC999", "1"}};
        for (int n = 0; n < 1000; ++n) {
            file.Set((flag == 1 ? "NEW" : "") + std::to_string(n), "Entry F" + std::to_string(n));
        }
        ModelSelection selection;
        ModelCatalogue catalogue(file, kBoard, &selection);
        ASSERT_EQ(1000u, catalogue.entries().size());
        EXPECT_EQ("Entry F999", catalogue.entries()[999]);
        EXPECT_EQ(ModelDecision::kChosen, catalogue.Choose(999, 2.34).decision);
        EXPECT_EQ(flag == 1 ? 1099 : 999, selection.ModelNumber);
        EXPECT_EQ(1.0, selection.FileCheck);
        EXPECT_EQ(flag == 1 ? "8ik1100x.1099" : "8ik1100x.999", ImageFileName(kBoard, selection.ModelNumber));
    }
}

TEST(ImageFileName, PartNumberInLowerCaseADotAndTheModelNumber) {
    struct Case {
        std::string partNumber;
        int modelNumber;
        std::string name;
    };
    const Case cases[] = {
        {"8IK1100X", 101, "8ik1100x.101"},
        {"8IK1100X", 0, "8ik1100x.0"},
        {"8IK1100XQ", 3, "8ik1100x.3"},             // eight bytes of an unterminated record
        {"Ab-\xC4\xC9Z@[", 7, "ab-\xC4\xC9z@[.7"},  // only A to Z change
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.partNumber);
        EXPECT_EQ(c.name, ImageFileName(c.partNumber.c_str(), c.modelNumber));
    }
}

TEST(DownloadSumAccepted, FileCheckDecidesTheTest) {
    // A 1 MiB image with the '[' marker whose upper half sums to 0 and whose
    // whole sums to 1.
    std::vector<uint8_t> image(0x100000, 0);
    image[0x100000 - 8103] = '[';
    image[0x80000] = static_cast<uint8_t>(0x100 - '[');
    image[0] = 1;
    const std::vector<uint8_t> good = {0x10, 0xF0};
    const std::vector<uint8_t> bad = {0x10, 0xF1};
    struct Case {
        const std::vector<uint8_t>* bytes;
        double fileCheck;
        bool accepted;
    };
    const Case cases[] = {
        {&bad, 0.0, true},    // no test
        {&bad, 1.0, false},
        {&good, 1.0, true},
        {&bad, 2.0, false},
        {&good, -1.0, true},
        {&image, 1.0, false},  // the whole image
        {&image, 2.0, true},   // the upper half only
        {&image, 0.5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bytes->size() << " bytes, FileCheck " << c.fileCheck);
        EXPECT_EQ(c.accepted,
                  DownloadSumAccepted(c.bytes->data(), static_cast<uint32_t>(c.bytes->size()), c.fileCheck));
    }
}

TEST(ReadUpdateCheckOffer, NameAndTheFirstEntrysVersion) {
    using Kind = UpdateCheckOffer::Kind;
    struct Case {
        const char* what;
        FakeCatalogue catalogue;
        Kind kind;
        std::string version;
        std::string text;
    };
    const Case cases[] = {
        {"the version from the last capital F", {{"NAME", "8IK1100"}, {"0", "8IK1100 Fast F6"}}, Kind::kVersion,
         "F6", "8IK1100 F6"},
        {"key 0 whatever FLAG says", {{"FLAG", "1"}, {"0", "x F2"}, {"NEW0", "y F9"}}, Kind::kVersion, "F2", " F2"},
        {"second numbering only", {{"FLAG", "1"}, {"NEW0", "y F9"}}, Kind::kNoEntry, "", ""},
        {"no capital F", {{"NAME", "n"}, {"0", "rev f7"}}, Kind::kNoVersion, "", ""},
        {"no file", {}, Kind::kNoEntry, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const UpdateCheckOffer offer = ReadUpdateCheckOffer(c.catalogue, kBoard);
        EXPECT_EQ(c.kind, offer.kind);
        EXPECT_EQ(c.version, offer.version);
        EXPECT_EQ(c.text, offer.text);
    }
}

}  // namespace
}  // namespace vossel
