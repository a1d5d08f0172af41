#include "afx_dialog.h"

#include <atomic>

namespace {

std::atomic<DialogHandler> g_dialog_handler{nullptr};
constexpr int kMaxScriptRounds = 1000;

}  // namespace

HINSTANCE AfxGetResourceHandle() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&AfxGetResourceHandle), &module);
    return module;
}

DialogHandler AfxSetDialogHandler(DialogHandler handler) { return g_dialog_handler.exchange(handler); }

DialogHandler AfxGetDialogHandler() { return g_dialog_handler.load(); }

CDialog::CDialog(UINT templateId, HWND parent) : template_id_(templateId), parent_(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    if (DialogHandler handler = g_dialog_handler.load()) {
        INT_PTR result = IDCANCEL;
        if (!ScriptStart(&result)) return result;
        // A script that keeps a dialog open for ever ends with Cancel.
        for (int round = 0; round < kMaxScriptRounds; ++round) {
            const DialogAnswer answer =
                handler(DialogRequest{template_id_, parent_, ScriptCaption(), ScriptText(), ScriptItems(),
                                      ScriptSelection()});
            if (ScriptAnswer(answer, &result)) return result;
        }
        return IDCANCEL;
    }
    return DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(template_id_), parent_, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

std::string CDialog::ScriptCaption() const { return std::string(); }

std::string CDialog::ScriptText() const { return std::string(); }

bool CDialog::ScriptStart(INT_PTR*) { return true; }

std::vector<std::string> CDialog::ScriptItems() const { return {}; }

int CDialog::ScriptSelection() const { return -1; }

bool CDialog::ScriptAnswer(const DialogAnswer& answer, INT_PTR* result) {
    if (answer.selectionCancel) return false;
    *result = answer.button;
    return true;
}

BOOL CDialog::OnInitDialog() { return TRUE; }

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnPaint() {
    PAINTSTRUCT paint;
    BeginPaint(m_hWnd, &paint);
    EndPaint(m_hWnd, &paint);
}

BOOL CDialog::OnCommand(WPARAM, LPARAM) { return FALSE; }

BOOL CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = window;
        return self->OnInitDialog();
    }
    self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    switch (message) {
    case WM_COMMAND:
        // Enter and the default button send IDOK; Escape and the close box IDCANCEL.
        if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) {
            self->OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == BN_CLICKED) {
            self->OnCancel();
            return TRUE;
        }
        return self->OnCommand(wParam, lParam);
    case WM_PAINT:
        self->OnPaint();
        return TRUE;
    case WM_NCDESTROY:
        self->m_hWnd = nullptr;
        SetWindowLongPtrA(window, DWLP_USER, 0);
        return FALSE;
    default: {
        LRESULT result = 0;
        if (self->OnMessage(message, wParam, lParam, &result)) {
            SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
    }
}
