// Every message box of the framework's users goes through here. In a real
// process it is MessageBoxA; in-process tests install a handler that records
// the request and answers from a script.
#pragma once

#include <windows.h>

using MessageBoxHandler = int (*)(HWND owner, const char* text, const char* caption, UINT type);

// Shows a message box (or asks the installed handler) and returns the button
// the user chose (IDOK, IDCANCEL, ...).
int AfxShowMessageBox(HWND owner, const char* text, const char* caption, UINT type);

// Installs handler for all later boxes; nullptr restores the real MessageBoxA.
// Returns the previous handler.
MessageBoxHandler AfxSetMessageBoxHandler(MessageBoxHandler handler);
