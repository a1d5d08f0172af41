// The skin's keyboard: a focus that Tab and Shift+Tab (and the arrow keys)
// move through the enabled elements in reading order, shown in each
// element's focus look; Enter and Space run the focused element (a check box
// toggles); Alt+S, Alt+F, Alt+V and Alt+A run the three BIOS commands and
// About (the letters are underlined in the artwork, and work without Alt
// too); F1 is Help. Escape stays with the window: it closes when idle.
// User-interface thread only.
#pragma once

#include <windows.h>

#include "skin.h"

// The look of an enabled element that is neither hovered nor pressed: its
// focus look when it has the focus, otherwise its resting look.
Look IdleLook(int index);

// Draws the element as it stands: pressed, disabled, or its idle look.
void RedrawElement(HDC dc, int index);

// A key pressed in the window, with or without Alt; true when the skin's
// keyboard used it.
bool KeyPressed(HWND window, UINT key);

// Whether the character is one of the access keys (either case).
bool IsAccessKey(WPARAM character);

// Runs the element as its key would: a check box toggles, a button runs its
// command. Nothing for a disabled element or an index outside the table.
void ActivateElement(HWND window, int index);
