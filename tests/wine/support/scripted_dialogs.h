// Answers the framework's modal dialogs and file dialogs of the code under
// test from a script and records what each would have shown: template,
// owner, caption and painted text; for file dialogs the kind, filter, flags,
// default extension and owner.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "afx_dialog.h"
#include "afx_file_dialog.h"

// While an instance lives, every CDialog and CFileDialog run goes to it.
// An unscripted run is answered IDCANCEL: nothing is confirmed unasked.
class ScriptedDialogs {
public:
    ScriptedDialogs();
    ~ScriptedDialogs();
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // The answers of the next template dialogs, in order (IDOK, IDCANCEL),
    // with a list's selection as the dialog has it.
    void Answer(std::initializer_list<INT_PTR> answers);
    // The next answer: button pressed with that list selection, or the list's
    // selection-cancel notification (the dialog stays open).
    void Select(int selection, INT_PTR button);
    void SelectionCancel(int selection);
    // The next file dialog returns IDOK with path; Cancel() makes it IDCANCEL.
    void Choose(const std::string& path);
    void CancelFileDialog();
    // Runs probe in every later file dialog run, while the dialog would be
    // open (for what the code under test changed around it).
    void WhileFileDialogOpen(std::function<void()> probe);

    std::vector<DialogRequest> Dialogs() const;
    std::vector<FileDialogRequest> FileDialogs() const;
    // The template identifiers of the dialogs run so far, in order.
    std::vector<UINT> DialogTemplates() const;
    void Clear();

private:
    struct FileAnswer {
        INT_PTR result;
        std::string path;
    };
    static DialogAnswer HandleDialog(const DialogRequest& request);
    static INT_PTR HandleFileDialog(const FileDialogRequest& request, std::string* path);

    mutable std::mutex mutex_;
    std::deque<DialogAnswer> answers_;
    std::deque<FileAnswer> file_answers_;
    std::function<void()> probe_;
    std::vector<DialogRequest> dialogs_;
    std::vector<FileDialogRequest> file_dialogs_;
};
