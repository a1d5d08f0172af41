#include "scripted_message_boxes.h"

#include <stdexcept>

#include "message_box.h"

namespace {
ScriptedMessageBoxes* g_active = nullptr;

int DefaultAnswer(UINT buttons) {
    switch (buttons) {
    case MB_YESNO:
    case MB_YESNOCANCEL: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDOK;
    }
}
}  // namespace

ScriptedMessageBoxes::ScriptedMessageBoxes() {
    if (g_active != nullptr) throw std::logic_error("one ScriptedMessageBoxes at a time");
    g_active = this;
    AfxSetMessageBoxHandler(&ScriptedMessageBoxes::Handle);
}

ScriptedMessageBoxes::~ScriptedMessageBoxes() {
    AfxSetMessageBoxHandler(nullptr);
    g_active = nullptr;
}

void ScriptedMessageBoxes::Answer(std::initializer_list<int> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.insert(answers_.end(), answers.begin(), answers.end());
}

std::vector<RecordedMessageBox> ScriptedMessageBoxes::Shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

std::vector<std::string> ScriptedMessageBoxes::Texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    for (const RecordedMessageBox& box : shown_) texts.push_back(box.text);
    return texts;
}

void ScriptedMessageBoxes::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.clear();
    answers_.clear();
}

int ScriptedMessageBoxes::Handle(HWND owner, const char* text, const char* caption, UINT type) {
    ScriptedMessageBoxes* self = g_active;
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->shown_.push_back(RecordedMessageBox{owner, text ? text : "", caption ? caption : "",
                                              type & MB_TYPEMASK, type & MB_ICONMASK});
    if (self->answers_.empty()) return DefaultAnswer(type & MB_TYPEMASK);
    int answer = self->answers_.front();
    self->answers_.pop_front();
    return answer;
}
