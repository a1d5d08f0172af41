// What a released skin element does: the three BIOS commands on command
// threads of their own with the progress display, and the immediate
// commands (about, minimise, exit, the online-update launcher, help).
#pragma once

#include <windows.h>

void RunElementCommand(HWND window, int index);

// Whether a BIOS command runs: from the click until its thread has ended,
// whether or not the engine has said Busy yet.
bool CommandRunning();
// True when nothing runs; otherwise the user is told to wait, and false.
bool MayEndProgram(HWND window);

// Progress timer tick: the engine's figures on the status line and the bar;
// the command display ends once the command has ended.
void ProgressTick(HWND window);

// The status line, the percentage and the bar for the last figures read.
void DrawProgressFigures(HWND window);
