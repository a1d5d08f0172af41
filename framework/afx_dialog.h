// Modal dialogs from resource templates. A CDialog loads its template from
// the resource module, keeps `this` in the window's user data and forwards
// the messages our dialogs use to virtual handlers. DoModal runs the modal
// loop on the calling thread.
//
// In-process tests install a DialogHandler: every modal run then goes to it
// instead of the screen, with the dialog's template, owner, caption and text,
// and the handler's answer is DoModal's result.
#pragma once

#include <windows.h>

#include <string>

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

// The module whose resources hold the dialog templates: the library or
// program that contains the framework's users.
HINSTANCE AfxGetResourceHandle();

struct DialogRequest {
    UINT templateId;
    HWND owner;
    std::string caption;
    std::string text;
};

using DialogHandler = INT_PTR (*)(const DialogRequest& request);

// Installs handler for all later modal runs; nullptr restores real dialogs.
// Returns the previous handler.
DialogHandler AfxSetDialogHandler(DialogHandler handler);
DialogHandler AfxGetDialogHandler();
