// The system's open-file and save-file dialogs: the Vista-style item dialog
// where the system has it, the classic common dialog otherwise. Filters are
// written as "Name|pattern|Name|pattern||".
//
// In-process tests install a FileDialogHandler: every modal run then goes to
// it with the request as the dialog would be shown, and the handler names the
// chosen path and the result.
#pragma once

#include <windows.h>

#include <string>

class CFileDialog {
public:
    CFileDialog(BOOL openFileDialog, const char* defaultExtension = nullptr, const char* fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
                HWND parent = nullptr, DWORD size = 0, BOOL vistaStyle = TRUE);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK with a chosen file, IDCANCEL otherwise (cancelled, or the dialog
    // could not be shown).
    INT_PTR DoModal();

    // The chosen file's full path, in the program's ANSI code page. Empty
    // when the path has characters that code page cannot hold: an ANSI
    // program cannot open such a file.
    const std::string& GetPathName() const { return path_; }

private:
    INT_PTR ShowItemDialog(bool* shown);
    INT_PTR ShowClassicDialog();

    bool open_;
    std::string default_extension_;
    std::string file_name_;
    DWORD flags_;
    std::string filter_;
    HWND parent_;
    bool vista_style_;
    std::string path_;
};

struct FileDialogRequest {
    bool open;  // open-file dialog; else save
    std::string defaultExtension;
    std::string fileName;
    DWORD flags;  // OFN_* as the dialog gets them: the caller's and OFN_EXPLORER
    std::string filter;
    HWND owner;
    bool vistaStyle;
};

// Returns IDOK (with *path set) or IDCANCEL.
using FileDialogHandler = INT_PTR (*)(const FileDialogRequest& request, std::string* path);

FileDialogHandler AfxSetFileDialogHandler(FileDialogHandler handler);
