#include "scripted_dialogs.h"

#include <stdexcept>

namespace {
ScriptedDialogs* g_active = nullptr;
}  // namespace

ScriptedDialogs::ScriptedDialogs() {
    if (g_active != nullptr) throw std::logic_error("one ScriptedDialogs at a time");
    g_active = this;
    AfxSetDialogHandler(&ScriptedDialogs::HandleDialog);
    AfxSetFileDialogHandler(&ScriptedDialogs::HandleFileDialog);
}

ScriptedDialogs::~ScriptedDialogs() {
    AfxSetDialogHandler(nullptr);
    AfxSetFileDialogHandler(nullptr);
    g_active = nullptr;
}

void ScriptedDialogs::Answer(std::initializer_list<INT_PTR> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (INT_PTR button : answers) answers_.push_back(DialogAnswer{button, kKeepSelection, false});
}

void ScriptedDialogs::Select(int selection, INT_PTR button) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(DialogAnswer{button, selection, false});
}

void ScriptedDialogs::SelectionCancel(int selection) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(DialogAnswer{IDCANCEL, selection, true});
}

void ScriptedDialogs::Choose(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    file_answers_.push_back(FileAnswer{IDOK, path});
}

void ScriptedDialogs::CancelFileDialog() {
    std::lock_guard<std::mutex> lock(mutex_);
    file_answers_.push_back(FileAnswer{IDCANCEL, std::string()});
}

void ScriptedDialogs::WhileFileDialogOpen(std::function<void()> probe) {
    std::lock_guard<std::mutex> lock(mutex_);
    probe_ = std::move(probe);
}

std::vector<DialogRequest> ScriptedDialogs::Dialogs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dialogs_;
}

std::vector<FileDialogRequest> ScriptedDialogs::FileDialogs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return file_dialogs_;
}

std::vector<UINT> ScriptedDialogs::DialogTemplates() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<UINT> templates;
    for (const DialogRequest& request : dialogs_) templates.push_back(request.templateId);
    return templates;
}

void ScriptedDialogs::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.clear();
    file_answers_.clear();
    dialogs_.clear();
    file_dialogs_.clear();
    probe_ = nullptr;
}

DialogAnswer ScriptedDialogs::HandleDialog(const DialogRequest& request) {
    ScriptedDialogs* self = g_active;
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->dialogs_.push_back(request);
    if (self->answers_.empty()) return DialogAnswer{IDCANCEL, kKeepSelection, false};
    const DialogAnswer answer = self->answers_.front();
    self->answers_.pop_front();
    return answer;
}

INT_PTR ScriptedDialogs::HandleFileDialog(const FileDialogRequest& request, std::string* path) {
    ScriptedDialogs* self = g_active;
    std::function<void()> probe;
    {
        std::lock_guard<std::mutex> lock(self->mutex_);
        probe = self->probe_;
    }
    if (probe) probe();
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->file_dialogs_.push_back(request);
    if (self->file_answers_.empty()) return IDCANCEL;
    const FileAnswer answer = self->file_answers_.front();
    self->file_answers_.pop_front();
    if (answer.result == IDOK) *path = answer.path;
    return answer.result;
}
