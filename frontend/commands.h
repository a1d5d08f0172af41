// What a released skin element does: the three BIOS commands on command
// threads of their own with the progress display, and the immediate
// commands (about, minimise, exit, the online-update launcher, help).
#pragma once

#include <windows.h>

void RunElementCommand(HWND window, int index);

// Progress timer tick: the engine's figures on the status line and the bar;
// the command display ends once the engine is idle.
void ProgressTick(HWND window);
