// CBIOSINI: the model whose image an update from a server downloads, picked
// from the board's entries in the fetched catalogue bios.ini. The decisions
// are the portable rules of catalogue.h; this is their dialog, with the
// warnings and notes shown in CMSG.
#pragma once

#include <memory>
#include <vector>

#include "afx_dialog.h"
#include "catalogue.h"
#include "profile_file.h"

class CBIOSINI : public CDialog {
public:
    explicit CBIOSINI(HWND parent = nullptr);
    ~CBIOSINI() override;

    std::string ScriptCaption() const override;
    std::string ScriptText() const override;
    bool ScriptStart(INT_PTR* result) override;
    std::vector<std::string> ScriptItems() const override;
    int ScriptSelection() const override { return script_selection_; }
    bool ScriptAnswer(const DialogAnswer& answer, INT_PTR* result) override;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    // Reads the board's entries; false (after the no-match warning) when
    // there are none.
    bool Start(HWND owner);
    // OK with the list selection: the result to end with, or nothing to
    // stay open.
    bool Decide(int selection, INT_PTR* result);
    void ShowNote(int selection);

    ProfileFile catalogue_file_;
    std::unique_ptr<vossel::ModelCatalogue> catalogue_;
    CListBox list_;
    int script_selection_ = -1;
};
