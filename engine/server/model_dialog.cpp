#include "model_dialog.h"

#include "engine_state.h"
#include "message_box.h"
#include "message_dialogs.h"
#include "vossel_resource.h"

namespace {

constexpr char kCaption[] = "Please select one file to update";

// Shows a warning or a note in CMSG; its result.
INT_PTR ShowInMessageDialog(const vossel::CatalogueMessage& message) {
    lstrcpynA(MessageTitle, message.title.c_str(), sizeof MessageTitle);
    lstrcpynA(MessageText, message.text.c_str(), sizeof MessageText);
    CMSG dialog;
    return dialog.DoModal();
}

}  // namespace

CBIOSINI::CBIOSINI(HWND parent)
    : CDialog(IDD_MODEL_FILE, parent), catalogue_file_(EngineFolderFile(vossel::kCatalogueFileName)) {}

CBIOSINI::~CBIOSINI() = default;

std::string CBIOSINI::ScriptCaption() const { return kCaption; }

std::string CBIOSINI::ScriptText() const { return catalogue_ ? catalogue_->modelNameLine() : std::string(); }

std::vector<std::string> CBIOSINI::ScriptItems() const {
    return catalogue_ ? catalogue_->entries() : std::vector<std::string>();
}

bool CBIOSINI::ScriptStart(INT_PTR* result) {
    script_selection_ = -1;  // no entry is preselected
    if (Start(nullptr)) return true;
    *result = IDCANCEL;
    return false;
}

bool CBIOSINI::ScriptAnswer(const DialogAnswer& answer, INT_PTR* result) {
    if (answer.selection != kKeepSelection) {
        const int count = int(catalogue_->entries().size());
        script_selection_ = answer.selection >= 0 && answer.selection < count ? answer.selection : -1;
    }
    if (answer.selectionCancel) {
        ShowNote(script_selection_);
        return false;
    }
    if (answer.button != IDOK) {
        *result = answer.button;
        return true;
    }
    return Decide(script_selection_, result);
}

bool CBIOSINI::Start(HWND owner) {
    catalogue_ = std::make_unique<vossel::ModelCatalogue>(catalogue_file_, Engine.CurrentBios.BiosPartNumber,
                                                          &Engine.Model);
    if (!catalogue_->empty()) return true;
    AfxShowMessageBox(owner, vossel::kMsgNoMatchBiosFile.text, vossel::kMsgNoMatchBiosFile.caption, MB_OK);
    return false;
}

bool CBIOSINI::Decide(int selection, INT_PTR* result) {
    const vossel::ModelChoice choice = catalogue_->Choose(selection, Engine.ProgramVersion);
    switch (choice.decision) {
    case vossel::ModelDecision::kChosen: *result = IDOK; return true;
    case vossel::ModelDecision::kWarning:
        // OK on the warning gives the update up; closing it otherwise goes
        // back to the list.
        if (ShowInMessageDialog(choice.warning) != IDOK) return false;
        *result = IDCANCEL;
        return true;
    case vossel::ModelDecision::kNoEntry: return false;
    }
    return false;
}

void CBIOSINI::ShowNote(int selection) {
    vossel::CatalogueMessage note;
    if (catalogue_->Note(selection, &note)) ShowInMessageDialog(note);
}

BOOL CBIOSINI::OnInitDialog() {
    list_.Attach(GetDlgItem(m_hWnd, IDC_LIST));
    if (!Start(m_hWnd)) {
        EndDialog(IDCANCEL);
        return TRUE;
    }
    SetDlgItemTextA(m_hWnd, IDC_MODEL_NAME, catalogue_->modelNameLine().c_str());
    for (const std::string& entry : catalogue_->entries()) list_.AddString(entry.c_str());
    return TRUE;
}

void CBIOSINI::OnOK() {
    INT_PTR result = IDCANCEL;
    if (Decide(list_.GetCurSel(), &result)) EndDialog(result);
}

BOOL CBIOSINI::OnCommand(WPARAM wParam, LPARAM) {
    if (LOWORD(wParam) == IDC_LIST && HIWORD(wParam) == LBN_SELCANCEL) {
        ShowNote(list_.GetCurSel());
        return TRUE;
    }
    return FALSE;
}
