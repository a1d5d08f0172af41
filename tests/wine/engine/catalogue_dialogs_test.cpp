// The site dialog over config.ini and the model dialog over bios.ini, both
// files real and read through the profile functions, the dialogs answered by
// the script: what they list, what OK hands back and writes, the warnings
// and notes they show in CMSG.
#include <string>
#include <vector>

#include "flow_fixture.h"
#include "message_dialogs.h"
#include "model_dialog.h"
#include "site_dialog.h"

namespace {

constexpr UINT kSiteDialog = 4002;
constexpr UINT kModelDialog = 4003;
constexpr UINT kMessageDialog = 4004;

class CatalogueDialogs : public FlowTest {
protected:
    void SetUp() override {
        FlowTest::SetUp();
        StartBoard(0x100000, 1, "6A69VN01");
    }
    void WriteConfig(const std::string& text) { WriteFileBytes(temp_.File("config.ini"), text); }
    std::string Config() const { return ReadFileBytes(temp_.File("config.ini")); }
    void WriteCatalogue(const std::string& text) { WriteFileBytes(temp_.File("bios.ini"), text); }
};

constexpr char kTwoSites[] =
    "[SERVER]\r\n0=Main\r\n1=Mirror\r\nDefault=1\r\n"
    "[0]\r\nAddress=ftp.main.example\r\nDirectory=/BIOS\r\nUsername=vossel\r\nPassword=s3cret\r\n"
    "[1]\r\nAddress=ftp.mirror.example\r\nDirectory=/pub/BIOS\r\n";

TEST_F(CatalogueDialogs, SiteDialogListsConfiguredSitesAndHandsBackTheChosenOne) {
    struct Case {
        const char* name;
        const char* config;  // nullptr: no config.ini
        std::vector<std::string> items;
        int preselected;
        int select;  // kKeepSelection: OK on the preselection
        const char* address;
        const char* username;
        const char* default_after;
    };
    const Case cases[] = {
        {"preselected mirror, no login", kTwoSites, {"Main", "Mirror"}, 1, kKeepSelection, "ftp.mirror.example", "",
         "1"},
        {"main chosen", kTwoSites, {"Main", "Mirror"}, 1, 0, "ftp.main.example", "vossel", "0"},
        {"a gap ends the list", "[SERVER]\r\n0=Main\r\n2=Third\r\n[0]\r\nAddress=a.example\r\n", {"Main"}, 0,
         kKeepSelection, "a.example", "", "0"},
        {"default past the list selects nothing", "[SERVER]\r\n0=Main\r\nDefault=5\r\n[0]\r\nAddress=a.example\r\n",
         {"Main"}, -1, kKeepSelection, "", "", "-1"},
        {"no config.ini", nullptr, {}, -1, kKeepSelection, "", "", "-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(temp_.File("config.ini").c_str());
        if (c.config != nullptr) WriteConfig(c.config);
        ClearRecords();
        dialogs_.Select(c.select, IDOK);
        CServerSel dialog;
        ASSERT_EQ(dialog.DoModal(), IDOK);
        const std::vector<DialogRequest> shown = dialogs_.Dialogs();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].templateId, kSiteDialog);
        EXPECT_EQ(shown[0].caption, "Please select Zorvik server site");
        EXPECT_EQ(shown[0].owner, nullptr);
        EXPECT_EQ(shown[0].items, c.items);
        EXPECT_EQ(shown[0].selection, c.preselected);
        EXPECT_STREQ(dialog.m_site.Address, c.address);
        EXPECT_STREQ(dialog.m_site.Username, c.username);
        char written[16] = {};
        GetPrivateProfileStringA("SERVER", "Default", "?", written, sizeof written, temp_.File("config.ini").c_str());
        EXPECT_STREQ(written, c.default_after);
        EXPECT_TRUE(boxes_.Shown().empty());
    }
}

TEST_F(CatalogueDialogs, SiteDialogCancelWritesNothingAndRefusesValuesTooLongForTheirField) {
    WriteConfig(kTwoSites);
    dialogs_.Answer({IDCANCEL});
    {
        CServerSel dialog;
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    }
    EXPECT_EQ(Config(), kTwoSites);

    // A host name of 30 characters would be cut into another name: refused,
    // and the dialog stays open for another site.
    const std::string long_host(30, 'h');
    WriteConfig("[SERVER]\r\n0=Long\r\n1=Fine\r\n[0]\r\nAddress=" + long_host + "\r\n[1]\r\nAddress=fine.example\r\n");
    const std::string before = Config();
    ClearRecords();
    dialogs_.Select(0, IDOK);
    dialogs_.Select(1, IDOK);
    CServerSel dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialogs_.Dialogs().size(), 2u);
    ASSERT_EQ(boxes_.Shown().size(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].caption, "ERROR");
    EXPECT_NE(boxes_.Shown()[0].text.find("longer than 29 characters"), std::string::npos) << boxes_.Shown()[0].text;
    EXPECT_STREQ(dialog.m_site.Address, "fine.example");
}

// One answer of a script: the model dialog's button with a list selection,
// or CMSG's button.
struct Step {
    bool model;
    int selection;
    INT_PTR button;
};
Step Model(int selection, INT_PTR button) { return Step{true, selection, button}; }
Step Message(INT_PTR button) { return Step{false, kKeepSelection, button}; }

TEST_F(CatalogueDialogs, ModelDialogChoosesAnEntryOrWarnsAndShowsNotes) {
    struct Case {
        const char* name;
        std::string catalogue;
        std::vector<Step> script;  // answers of the model dialog and its CMSG runs, in order
        INT_PTR result;
        std::vector<std::string> items;
        int model_number;  // when chosen
        double file_check;
        std::vector<UINT> templates;
        const char* message_title;  // of the last CMSG run
        const char* message_text;
    };
    const std::string two = "[6A69VN01]\r\nNAME=GA-7X\r\n0=Board F5\r\n1=Board F6\r\nFC1=1\r\n";
    const std::string second_numbering = "[6A69VN01]\r\nNAME=GA-7X\r\nFLAG=1\r\nNEW0=Board F5\r\nNEW1=Board F6\r\nFC1=2\r\n";
    const std::string warned = two + "WARN1=2.35\r\nWMSG10=Needs a newer Zorvik.\r\nWMSG11=Please update it first.\r\n";
    const std::string not_warned = two + "WARN1=2.34\r\nWMSG10=never shown\r\n";
    const std::vector<Case> cases = {
        {"first numbering", two, {Model(1, IDOK)}, IDOK, {"Board F5", "Board F6"}, 1, 1.0, {kModelDialog}, nullptr, nullptr},
        {"second numbering", second_numbering, {Model(1, IDOK)}, IDOK, {"Board F5", "Board F6"}, 101, 2.0, {kModelDialog},
         nullptr, nullptr},
        {"nothing selected takes entry 0", two, {Model(-1, IDOK)}, IDOK, {"Board F5", "Board F6"}, 0, 0.0,
         {kModelDialog}, nullptr, nullptr},
        {"a warning at the program's own version is none", not_warned, {Model(1, IDOK)}, IDOK, {"Board F5", "Board F6"},
         1, 1.0, {kModelDialog}, nullptr, nullptr},
        {"OK on the warning gives up", warned, {Model(1, IDOK), Message(IDOK)}, IDCANCEL, {"Board F5", "Board F6"}, -1, 1.0,
         {kModelDialog, kMessageDialog}, "INFORMATION", "Needs a newer Zorvik.\nPlease update it first.\n"},
        {"closing the warning goes back to the list", warned, {Model(1, IDOK), Message(IDCANCEL), Model(0, IDOK)}, IDOK,
         {"Board F5", "Board F6"}, 0, 0.0, {kModelDialog, kMessageDialog, kModelDialog}, "INFORMATION",
         "Needs a newer Zorvik.\nPlease update it first.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteCatalogue(c.catalogue);
        ClearRecords();
        Engine.Model = vossel::ModelSelection{-1, -1.0, -1};
        for (const Step& step : c.script) {
            if (step.model) {
                dialogs_.Select(step.selection, step.button);
            } else {
                dialogs_.Answer({step.button});
            }
        }
        CBIOSINI dialog;
        EXPECT_EQ(dialog.DoModal(), c.result);
        EXPECT_EQ(dialogs_.DialogTemplates(), c.templates);
        const std::vector<DialogRequest> shown = dialogs_.Dialogs();
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown[0].caption, "Please select one file to update");
        EXPECT_EQ(shown[0].text, "Model Name : GA-7X");
        EXPECT_EQ(shown[0].items, c.items);
        EXPECT_EQ(shown[0].selection, -1) << "no entry is preselected";
        if (c.result == IDOK) {
            EXPECT_EQ(Engine.Model.ModelNumber, c.model_number);
        }
        EXPECT_EQ(Engine.Model.FileCheck, c.file_check);
        if (c.message_title != nullptr) {
            EXPECT_STREQ(MessageTitle, c.message_title);
            EXPECT_STREQ(MessageText, c.message_text);
        }
        EXPECT_TRUE(boxes_.Shown().empty());
    }
}

TEST_F(CatalogueDialogs, ModelDialogNotesAndTheBoardWithoutEntries) {
    WriteCatalogue("[6A69VN01]\r\nNAME=GA-7X\r\n0=Board F5\r\nINFO00=Flash from a UPS.\r\nINFO0TITLE=Note\r\n");
    dialogs_.SelectionCancel(0);
    dialogs_.Answer({IDOK});  // the note
    dialogs_.Answer({IDCANCEL});
    {
        CBIOSINI dialog;
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    }
    EXPECT_EQ(dialogs_.DialogTemplates(), (std::vector<UINT>{kModelDialog, kMessageDialog, kModelDialog}));
    EXPECT_EQ(dialogs_.Dialogs()[1].caption, "Note");
    EXPECT_EQ(dialogs_.Dialogs()[1].text, "Flash from a UPS.\n");

    // Another board's catalogue, and no catalogue at all: the no-match
    // warning, and the dialog closes itself.
    for (bool file : {true, false}) {
        SCOPED_TRACE(file ? "other board" : "no bios.ini");
        DeleteFileA(temp_.File("bios.ini").c_str());
        if (file) WriteCatalogue("[8B22QW07]\r\n0=Other F1\r\n");
        ClearRecords();
        CBIOSINI dialog;
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_TRUE(dialogs_.Dialogs().empty());
        EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{
                                      "WARNING: No match BIOS file be found.\nPlease download file by web site.\n\n"
                                      "Thank you very much."});
        EXPECT_EQ(boxes_.Shown()[0].caption, "WARNING");
    }
}

}  // namespace

namespace {

// Catalogues a server might send that no maker's tool wrote: what the model
// dialog shows of them stays within its buffers.
TEST_F(CatalogueDialogs, HostileCataloguesAreReadWithinTheirBuffers) {
    std::string many = "[6A69VN01]\r\nNAME=" + std::string(400, 'N') + "\r\n";
    for (int i = 0; i < 1000; ++i) many += std::to_string(i) + "=Entry " + std::to_string(i) + " F6\r\n";
    many += "0=ignored duplicate\r\n";
    many += "WARN999=9\r\n";
    for (int m = 0; m < 20; ++m) many += "WMSG999" + std::to_string(m) + "=" + std::string(200, char('a' + m)) + "\r\n";
    many += "WMSG999TITLE=" + std::string(300, 'T') + "\r\n";
    WriteCatalogue(many);
    dialogs_.Select(999, IDOK);
    dialogs_.Answer({IDOK});  // the warning gives the update up
    {
        CBIOSINI dialog;
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    }
    const std::vector<DialogRequest> shown = dialogs_.Dialogs();
    ASSERT_EQ(shown.size(), 2u);
    ASSERT_EQ(shown[0].items.size(), 1000u);
    EXPECT_EQ(shown[0].items[999], "Entry 999 F6");
    EXPECT_EQ(shown[0].text, "Model Name : " + std::string(254, 'N')) << "a value holds 254 characters";
    EXPECT_EQ(std::string(MessageText).size(), 1023u);
    EXPECT_EQ(std::string(MessageText, 201), std::string(200, 'a') + "\n");
    EXPECT_EQ(std::string(MessageTitle), std::string(254, 'T'));

    // Gaps end the list; bytes outside ASCII pass unchanged.
    WriteCatalogue("[6A69VN01]\r\n0=Mod\xE8le \xC4 F6\r\n1=Zweite F6\r\n3=after the gap\r\n");
    ClearRecords();
    dialogs_.Answer({IDCANCEL});
    CBIOSINI dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ASSERT_EQ(dialogs_.Dialogs().size(), 1u);
    EXPECT_EQ(dialogs_.Dialogs()[0].items, (std::vector<std::string>{"Mod\xE8le \xC4 F6", "Zweite F6"}));
}

}  // namespace
