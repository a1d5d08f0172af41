// The skin's elements: the table of the ten elements with their looks, how
// each look is drawn, and the mouse's effect on them up to the command a
// release starts.
#pragma once

#include <windows.h>

#include "front_end.h"

// Fills the element table for the set on screen; the check boxes start
// disabled unless the BIOS is an Award BIOS.
void BuildSkinElements(HINSTANCE instance, int32_t biosVendor);
// Loads the rectangles of the set on screen (FrontEnd.skinPercent) into the
// element table, keeping every element's marks, and frees the looks of the
// set it replaces; the new set's looks are loaded from instance as they are
// first drawn.
void LoadSkinSet(HINSTANCE instance);

bool IsWideButton(int index);
bool IsCheckBox(int index);
// Whether the check box at index shows its checked look.
bool CheckBoxChecked(int index);
// Sets the check box's flag as a click or a key toggles it.
void SetCheckBoxFlag(int index, int32_t checked);

enum class Look { kResting, kHover, kPressed, kDisabled, kFocus };
// The look's image and mask for the element at index (check boxes by their
// state), loaded on first use; false when the element has no such look.
bool ElementLook(int index, Look look, HBITMAP* image, HBITMAP* mask);
void DrawElement(HDC dc, int index, Look look);

// The mouse on the skin. ReleaseOn returns the element a release at (x, y)
// runs the command of, or -1 (a check box toggles itself).
void MouseMoved(HWND window, HWND tooltip, int x, int y);
// The element at client point (x, y), enabled or not; -1 when none is there.
int ElementAt(int x, int y);
// True when the press fell on an enabled element.
bool ButtonPressed(HWND window, int x, int y);
int ButtonReleased(HWND window, int x, int y);
// The mouse capture went elsewhere (Alt+Tab during a press): the pressed
// element takes its resting look back and runs nothing.
void CaptureLost(HWND window);
