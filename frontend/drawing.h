// The skin's drawing primitives: the masked draw of an element's look, the
// window shape cut out of the skin by its colour key, the panel text draw and
// the progress bar draw. User-interface thread only.
#pragma once

#include <windows.h>

#include <cstdint>

// A bitmap's width and height in pixels.
SIZE BitmapSize(HBITMAP bitmap);

// Draws image through mask at (x, y), at the image's own size: the target's
// pixels ANDed with the mask, then ORed with the image.
void DrawMasked(HDC target, HBITMAP image, HBITMAP mask, int x, int y);

// Copies bitmap to (x, y) of target, width x height pixels, as it is.
void DrawPlain(HDC target, HBITMAP bitmap, int x, int y, int width, int height);

// The union of the skin's pixels that are not of the key colour (within the
// tolerance); nullptr when the bitmap cannot be read.
HRGN WindowShapeFromSkin(HBITMAP skin, uint32_t keyColour, uint32_t tolerance);

// Draws at most 35 characters of text at (x, y) of the window's client area:
// yellow in the panel's font on the background colour, clipped at column
// clipRight (exclusive), so that a wide font never writes over the skin's
// buttons beside the field. x, y and clipRight are skin coordinates at 100
// percent; the text, its font and its clip go with the set on screen.
void DrawPanelText(HWND window, const char* text, int x, int y, COLORREF background, int clipRight);

// The progress bar for a percentage: the frame bitmap of the set on screen,
// copied to (45, 174) at 100 percent.
void DrawProgressBar(HWND window, int32_t percentage);
