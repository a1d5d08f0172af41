#include "site_dialog.h"

#include "message_box.h"
#include "vossel_resource.h"

namespace {
constexpr char kCaption[] = "Please select Zorvik server site";
}

CServerSel::CServerSel(HWND parent)
    : CDialog(IDD_SERVER_SITE, parent), config_(EngineFolderFile(vossel::kConfigFileName)) {}

std::string CServerSel::ScriptCaption() const { return kCaption; }

bool CServerSel::ScriptStart(INT_PTR*) {
    sites_ = vossel::ReadSiteList(config_);
    script_selection_ = sites_.preselected;
    return true;
}

std::vector<std::string> CServerSel::ScriptItems() const { return sites_.names; }

bool CServerSel::ScriptAnswer(const DialogAnswer& answer, INT_PTR* result) {
    if (answer.selectionCancel) return false;  // the site list has no notes
    if (answer.button != IDOK) {
        *result = answer.button;
        return true;
    }
    // As the list box: an index outside the list selects nothing.
    if (answer.selection != kKeepSelection) {
        const int count = int(sites_.names.size());
        script_selection_ = answer.selection >= 0 && answer.selection < count ? answer.selection : -1;
    }
    if (!TakeSite(script_selection_)) return false;
    *result = IDOK;
    return true;
}

BOOL CServerSel::OnInitDialog() {
    list_.Attach(GetDlgItem(m_hWnd, IDC_LIST));
    sites_ = vossel::ReadSiteList(config_);
    for (const std::string& name : sites_.names) list_.AddString(name.c_str());
    list_.SetCurSel(sites_.preselected);
    return TRUE;
}

void CServerSel::OnOK() {
    if (TakeSite(list_.GetCurSel())) EndDialog(IDOK);
}

bool CServerSel::TakeSite(int selection) {
    const vossel::SiteChoice choice = vossel::ChooseSite(config_, selection);
    if (!choice.accepted) {
        AfxShowMessageBox(m_hWnd, choice.refusalText.c_str(), vossel::kSiteRefusalCaption, MB_OK);
        return false;
    }
    m_site = choice.site;
    config_.Put(vossel::kServerListSection, vossel::kDefaultSiteKey, choice.defaultText);
    return true;
}
