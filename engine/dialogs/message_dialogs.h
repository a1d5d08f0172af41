// The engine's own small dialogs: CMSG (warnings and notes, caller's title),
// CMSG2 (the last confirmation before a write) and CMSG1 (the offer to
// restart). Each paints its text itself; red passages are marked with '#'.
#pragma once

#include <windows.h>

#include <string>

#include "afx_dialog.h"

// Text buffers the callers fill before running a dialog; they keep their
// contents afterwards.
extern char MessageTitle[256];
extern char MessageText[1024];
extern char ConfirmText[256];

// The confirmation the update flow asks before it writes.
extern const char kUpdateConfirmText[];
// The fixed text of CMSG1, four lines.
extern const char kRestartText[];

// Paints text (at most capacity bytes, up to its terminator) into window's
// client area from (leftMargin, firstLine): black, with the '#' passages red.
void PaintMarkedText(HWND window, const char* text, size_t capacity, int leftMargin, int firstLine);

class CMSG : public CDialog {
public:
    CMSG();
    std::string ScriptCaption() const override;
    std::string ScriptText() const override;

protected:
    void OnPaint() override;
};

class CMSG2 : public CDialog {
public:
    CMSG2();
    std::string ScriptCaption() const override;
    std::string ScriptText() const override;

protected:
    void OnPaint() override;
};

class CMSG1 : public CDialog {
public:
    CMSG1();
    std::string ScriptCaption() const override;
    std::string ScriptText() const override;

protected:
    void OnPaint() override;
};
