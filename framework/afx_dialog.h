// Modal dialogs from resource templates. A CDialog loads its template from
// the resource module, keeps `this` in the window's user data and forwards
// the messages our dialogs use to virtual handlers. DoModal runs the modal
// loop on the calling thread.
//
// In-process tests install a DialogHandler: every modal run then goes to it
// instead of the screen, with the dialog's template, owner, caption, text and
// list entries; the handler's answers (a button, with a list selection) go
// through the same decisions the real dialog makes, and end in DoModal's
// result.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CDialog {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; the identifier of the button that ended it
    // (IDOK, IDCANCEL, ...), or -1 when the template cannot be loaded.
    virtual INT_PTR DoModal();

    UINT GetTemplateId() const { return template_id_; }
    HWND GetParent() const { return parent_; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // What a scripted run reports: the caption and the painted text the
    // dialog would show. The defaults read the template's caption and no text.
    virtual std::string ScriptCaption() const;
    virtual std::string ScriptText() const;
    // A scripted run of a dialog with a list: ScriptStart does what the
    // dialog's start does (false ends the run at once with *result, as a
    // dialog that closes itself), ScriptItems gives the list's entries, and
    // ScriptAnswer applies one answer of the script (a button with the list
    // selection in force, or the list's selection-cancel notification): true
    // ends the run with *result, false leaves the dialog open for the next
    // answer. The defaults: no list, every answer ends the run with itself.
    virtual bool ScriptStart(INT_PTR* result);
    virtual std::vector<std::string> ScriptItems() const;
    virtual int ScriptSelection() const;
    virtual bool ScriptAnswer(const struct DialogAnswer& answer, INT_PTR* result);

    HWND m_hWnd = nullptr;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // WM_PAINT. The default paints nothing beyond what the dialog manager does.
    virtual void OnPaint();
    // WM_COMMAND other than OK and Cancel; TRUE when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // Any other message; TRUE when handled (result in *result).
    virtual BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    void EndDialog(INT_PTR result);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT template_id_;
    HWND parent_;
};

// The framework's extended dialog: a CDialog, for the dialogs that the
// platform's framework would build on its extended class.
class CDialogEx : public CDialog {
public:
    using CDialog::CDialog;
};

// A list box control of a dialog, by its window.
class CListBox {
public:
    void Attach(HWND window) { m_hWnd = window; }
    int AddString(const char* text) { return int(SendMessageA(m_hWnd, LB_ADDSTRING, 0, LPARAM(text))); }
    int GetCount() const { return int(SendMessageA(m_hWnd, LB_GETCOUNT, 0, 0)); }
    // The selected entry, LB_ERR (-1) when none is.
    int GetCurSel() const { return int(SendMessageA(m_hWnd, LB_GETCURSEL, 0, 0)); }
    // Selects entry index; -1, or an index outside the list, selects nothing.
    int SetCurSel(int index) { return int(SendMessageA(m_hWnd, LB_SETCURSEL, WPARAM(index), 0)); }

    HWND m_hWnd = nullptr;
};

// The module whose resources hold the dialog templates: the library or
// program that contains the framework's users.
HINSTANCE AfxGetResourceHandle();

struct DialogRequest {
    UINT templateId;
    HWND owner;
    std::string caption;
    std::string text;
    std::vector<std::string> items;  // the list's entries, for dialogs with a list
    int selection;                   // the list's selection as the dialog stands, -1 for none
};

// DialogAnswer::selection for "the selection as the dialog has it".
constexpr int kKeepSelection = -2;

// One answer of a script: the button that ends the dialog (IDOK, IDCANCEL)
// pressed with the list selection in force (-1: nothing selected), or, with
// selectionCancel, the list's selection-cancel notification for that
// selection, after which the dialog stays open.
struct DialogAnswer {
    INT_PTR button = IDCANCEL;
    int selection = kKeepSelection;
    bool selectionCancel = false;
};

using DialogHandler = DialogAnswer (*)(const DialogRequest& request);

// Installs handler for all later modal runs; nullptr restores real dialogs.
// Returns the previous handler.
DialogHandler AfxSetDialogHandler(DialogHandler handler);
DialogHandler AfxGetDialogHandler();
