#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "server_config.h"

namespace vossel {
namespace {

struct Value {
    std::string section;
    std::string key;
    std::string value;
};

// config.ini in memory; names match without regard to case, as the platform
// reader does.
class FakeConfig : public ProfileReader {
public:
    FakeConfig(std::initializer_list<Value> values) {
        for (const Value& v : values) {
            Set(v.section, v.key, v.value);
        }
    }
    void Set(const std::string& section, const std::string& key, const std::string& value) {
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

TEST(ReadSiteList, NamesInKeyOrderAndThePreselection) {
    struct Case {
        const char* what;
        FakeConfig config;
        std::vector<std::string> names;
        int preselected;
    };
    const Case cases[] = {
        {"Default picks the second site",
         {{"SERVER", "0", "Main"}, {"SERVER", "1", "Mirror"}, {"SERVER", "Default", "1"}},
         {"Main", "Mirror"},
         1},
        {"a gap ends the list", {{"SERVER", "0", "Main"}, {"SERVER", "2", "Far"}}, {"Main"}, 0},
        {"no Default selects the first", {{"SERVER", "0", "Main"}, {"SERVER", "1", "Mirror"}}, {"Main", "Mirror"}, 0},
        {"Default past the end selects nothing", {{"SERVER", "0", "Main"}, {"SERVER", "Default", "1"}}, {"Main"}, -1},
        {"Default -1 selects nothing", {{"SERVER", "0", "Main"}, {"SERVER", "Default", "-1"}}, {"Main"}, -1},
        {"Default without a number is 0", {{"SERVER", "0", "Main"}, {"SERVER", "Default", "last"}}, {"Main"}, 0},
        {"Default beyond int selects nothing",
         {{"SERVER", "0", "Main"}, {"SERVER", "Default", "99999999999"}},
         {"Main"},
         -1},
        {"no file", {}, {}, -1},
        {"names are shown unchanged",
         {{"server", "0", " Taipei \xA5\x78 #1 "}, {"SERVER", "1", std::string(300, 'n')}},
         {" Taipei \xA5\x78 #1 ", std::string(254, 'n')},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SiteList list = ReadSiteList(c.config);
        EXPECT_EQ(c.names, list.names);
        EXPECT_EQ(c.preselected, list.preselected);
    }
}

TEST(ReadSiteList, AThousandSitesAreAllListed) {
    FakeConfig config{{"SERVER", "Default", "999"}};
    for (int n = 0; n < 1000; ++n) {
        config.Set("SERVER", std::to_string(n), "Site " + std::to_string(n));
    }
    const SiteList list = ReadSiteList(config);
    ASSERT_EQ(1000u, list.names.size());
    EXPECT_EQ("Site 999", list.names[999]);
    EXPECT_EQ(999, list.preselected);
}

// A reader that answers every key still ends the list.
class EndlessConfig : public ProfileReader {
public:
    std::string Get(const std::string&, const std::string& key) const override { return "Site " + key; }
};

TEST(ReadSiteList, AReaderThatNeverEndsStopsAtTheListLimit) {
    const SiteList list = ReadSiteList(EndlessConfig());
    EXPECT_EQ(static_cast<size_t>(kMaxNumberedEntries), list.names.size());
}

std::string Field(const char (&field)[kServerFieldSize]) {
    EXPECT_NE(nullptr, std::memchr(field, '\0', kServerFieldSize));
    return std::string(field);
}

TEST(ChooseSite, ReadsTheSelectedSectionAndNamesItAsDefault) {
    const std::string longest(29, 'x');
    const FakeConfig config{
        {"0", "Address", "ftp.main.example"}, {"0", "Directory", "/bios"}, {"0", "Username", "anon"},
        {"0", "Password", "pw"},              {"1", "Address", "ftp.mirror.example"}, {"1", "Directory", "/"},
        {"2", "Address", longest},            {"2", "Directory", longest}, {"2", "Username", longest},
        {"2", "Password", longest},           {"3", "Address", "\xC4\xE3.example"},
    };
    struct Case {
        int selection;
        std::string address, directory, username, password, defaultText;
    };
    const Case cases[] = {
        {0, "ftp.main.example", "/bios", "anon", "pw", "0"},
        {1, "ftp.mirror.example", "/", "", "", "1"},     // no login keys: empty fields
        {2, longest, longest, longest, longest, "2"},      // 29 characters fit
        {3, "\xC4\xE3.example", "", "", "", "3"},
        {-1, "", "", "", "", "-1"},                        // nothing selected: section -1
        {7, "", "", "", "", "7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selection);
        const SiteChoice choice = ChooseSite(config, c.selection);
        ASSERT_TRUE(choice.accepted);
        EXPECT_EQ(c.address, Field(choice.site.Address));
        EXPECT_EQ(c.directory, Field(choice.site.Directory));
        EXPECT_EQ(c.username, Field(choice.site.Username));
        EXPECT_EQ(c.password, Field(choice.site.Password));
        EXPECT_EQ(c.defaultText, choice.defaultText);
        EXPECT_TRUE(choice.refusalText.empty());
    }
}

TEST(ChooseSite, RefusesAValueThatDoesNotFitItsField) {
    const std::string tooLong(30, 'y');
    struct Case {
        const char* key;
        std::string value;
    };
    const Case cases[] = {
        {"Address", tooLong},
        {"Directory", tooLong},
        {"Username", std::string(254, 'u')},
        {"Password", std::string(2000, 'p')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        FakeConfig config{{"4", "Address", "ftp.main.example"}, {"4", "Directory", "/bios"}};
        config.Set("4", c.key, c.value);
        const SiteChoice choice = ChooseSite(config, 4);
        EXPECT_FALSE(choice.accepted);
        EXPECT_EQ(std::string("The ") + c.key +
                      " of server site 4 in config.ini is longer than 29 characters.\nPlease select another site.",
                  choice.refusalText);
        EXPECT_EQ("", Field(choice.site.Address));  // nothing of the site is handed back
    }
}

}  // namespace
}  // namespace vossel
