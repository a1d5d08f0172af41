// Answers every message box of the code under test from a script and records
// what was asked: owner, text, caption, buttons and icon, exactly.
#pragma once

#include <windows.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct RecordedMessageBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT buttons;  // type & MB_TYPEMASK
    UINT icon;     // type & MB_ICONMASK
};

// While an instance lives, boxes go to it instead of the screen. Unscripted
// boxes are answered with the first button of their kind (IDOK for MB_OK and
// MB_OKCANCEL, IDYES for MB_YESNO, ...).
class ScriptedMessageBoxes {
public:
    ScriptedMessageBoxes();
    ~ScriptedMessageBoxes();
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    // The answers of the next boxes, in order.
    void Answer(std::initializer_list<int> answers);

    std::vector<RecordedMessageBox> Shown() const;
    // The texts of the boxes shown, in order.
    std::vector<std::string> Texts() const;
    void Clear();

private:
    static int Handle(HWND owner, const char* text, const char* caption, UINT type);

    mutable std::mutex mutex_;
    std::deque<int> answers_;
    std::vector<RecordedMessageBox> shown_;
};
