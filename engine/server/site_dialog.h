// CServerSel: the FTP site of an update from a server, picked from the sites
// config.ini beside the engine lists. The decisions are the portable rules of
// server_config.h; this is their dialog.
#pragma once

#include <memory>
#include <vector>

#include "afx_dialog.h"
#include "profile_file.h"
#include "server_config.h"

class CServerSel : public CDialog {
public:
    explicit CServerSel(HWND parent = nullptr);

    // The chosen site, after DoModal returned IDOK.
    vossel::ServerSite m_site = {};

    std::string ScriptCaption() const override;
    bool ScriptStart(INT_PTR* result) override;
    std::vector<std::string> ScriptItems() const override;
    int ScriptSelection() const override { return script_selection_; }
    bool ScriptAnswer(const DialogAnswer& answer, INT_PTR* result) override;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    // True when the site at selection was accepted (m_site set, Default
    // written); false after its refusal was shown.
    bool TakeSite(int selection);

    ProfileFile config_;
    vossel::SiteList sites_;
    CListBox list_;
    int script_selection_ = -1;
};
