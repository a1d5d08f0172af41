#include "skin.h"

#include <commctrl.h>

#include "accessibility.h"
#include "dpi_scale.h"
#include "drawing.h"
#include "keyboard_focus.h"
#include "skin_scale.h"

namespace {

struct ElementLayout {
    const char* name;
    int left, top, right, bottom;
    int resting, restingMask, hover, hoverMask, pressed, pressedMask, disabled, focus, focusMask;  // 0: none
};

constexpr ElementLayout kElements[] = {
    {"Update BIOS from NORVANE Server", 362, 73, 543, 97, 189, 189, 191, 191, 190, 190, 188, 234, 234},
    {"Update BIOS from File", 362, 98, 543, 122, 193, 193, 195, 195, 194, 194, 192, 235, 235},
    {"Save Current BIOS to File", 362, 123, 543, 147, 197, 197, 199, 199, 198, 198, 196, 236, 236},
    {"About Zorvik", 362, 148, 543, 172, 201, 201, 203, 203, 202, 202, 200, 237, 237},
    {"Clear DMI", 250, 207, 274, 231, 215, 215, 216, 216, 213, 213, 0, 0, 0},
    {"MINIMIZE", 475, 30, 505, 58, 230, 231, 232, 233, 228, 229, 0, 243, 244},
    {"EXIT", 504, 30, 534, 58, 220, 221, 222, 223, 218, 219, 0, 245, 246},
    {"Brisko", 383, 23, 423, 62, 224, 224, 225, 225, 226, 226, 0, 247, 247},
    {"Help", 446, 30, 477, 58, 184, 185, 186, 187, 182, 183, 0, 241, 242},
    {"Load CMOS default after BIOS update", 61, 207, 85, 231, 213, 213, 214, 214, 213, 213, 0, 0, 0},
};
constexpr int kElementCount = int(sizeof kElements / sizeof kElements[0]);
static_assert(kElementCount <= kElementCapacity, "the table holds the elements");

constexpr int kCheckedResting = 213;
constexpr int kCheckedHover = 214;
constexpr int kUncheckedResting = 215;
constexpr int kUncheckedHover = 216;
constexpr int kCheckedFocus = 238;
constexpr int kUncheckedFocus = 239;
constexpr int kCheckBoxOff = 240;

// The looks of the set on screen by resource number, each loaded on its first
// use (most are never drawn in a run: hover, pressed, focus) and freed when
// another set replaces them.
constexpr int kLookCapacity = 256;
HBITMAP setLooks[kLookCapacity] = {};
HINSTANCE lookInstance = nullptr;

HBITMAP LookBitmap(int id) {
    if (id <= 0 || id >= kLookCapacity) return nullptr;
    if (setLooks[id] == nullptr) setLooks[id] = LoadBitmapA(lookInstance, MAKEINTRESOURCEA(SkinBitmapId(id)));
    return setLooks[id];
}

}  // namespace

void SetCheckBoxFlag(int index, int32_t checked) {
    if (index == kClearDmi) FrontEnd.clearDmi = checked;
    if (index == kLoadCmosDefault) FrontEnd.skipCmosDefault = checked ? 0 : 1;
}

void BuildSkinElements(HINSTANCE instance, int32_t biosVendor) {
    SkinElementTable& table = FrontEnd.skin;
    for (int i = 0; i < kElementCount; ++i) {
        SkinElement& element = table.elements[i];
        element = SkinElement{};
        element.name = kElements[i].name;
        element.disabled = IsCheckBox(i) && biosVendor != kBiosTypeAward ? 1 : 0;
    }
    table.count = kElementCount;
    table.pressedIndex = kNoElementPressed;
    FrontEnd.checkBoxesHidden = biosVendor != kBiosTypeAward;
    LoadSkinSet(instance);
}

void LoadSkinSet(HINSTANCE instance) {
    for (HBITMAP& look : setLooks) {
        if (look != nullptr) DeleteObject(look);
        look = nullptr;
    }
    lookInstance = instance;
    SkinElementTable& table = FrontEnd.skin;
    for (int i = 0; i < kElementCount; ++i) {
        const ElementLayout& layout = kElements[i];
        SkinElement& element = table.elements[i];
        const vossel::EdgeRect rect =
            vossel::ScaleRect({layout.left, layout.top, layout.right, layout.bottom}, FrontEnd.skinPercent);
        element.top = rect.top;
        element.left = rect.left;
        element.right = rect.right;
        element.bottom = rect.bottom;
    }
}

bool IsWideButton(int index) { return index >= kUpdateFromServer && index <= kAbout; }

bool IsCheckBox(int index) { return index == kClearDmi || index == kLoadCmosDefault; }

bool CheckBoxChecked(int index) {
    return index == kClearDmi ? FrontEnd.clearDmi == 1 : FrontEnd.skipCmosDefault == 0;
}

bool ElementLook(int index, Look look, HBITMAP* image, HBITMAP* mask) {
    const ElementLayout& layout = kElements[index];
    // The same bitmap serves as image and mask where the table names one.
    int imageId = 0;
    int maskId = 0;
    if (IsCheckBox(index) && FrontEnd.checkBoxesHidden) {
        imageId = maskId = kCheckBoxOff;
    } else {
        const bool checked = IsCheckBox(index) && CheckBoxChecked(index);
        switch (look) {
        case Look::kResting:
            imageId = layout.resting;
            maskId = layout.restingMask;
            if (IsCheckBox(index)) imageId = maskId = checked ? kCheckedResting : kUncheckedResting;
            break;
        case Look::kHover:
            imageId = layout.hover;
            maskId = layout.hoverMask;
            if (IsCheckBox(index)) imageId = maskId = checked ? kCheckedHover : kUncheckedHover;
            break;
        case Look::kPressed:
            imageId = layout.pressed;
            maskId = layout.pressedMask;
            break;
        case Look::kDisabled:
            imageId = maskId = layout.disabled;
            // A check box keeps showing its state while a command runs.
            if (IsCheckBox(index)) imageId = maskId = checked ? kCheckedResting : kUncheckedResting;
            break;
        case Look::kFocus:
            imageId = layout.focus;
            maskId = layout.focusMask;
            if (IsCheckBox(index)) imageId = maskId = checked ? kCheckedFocus : kUncheckedFocus;
            break;
        }
    }
    *image = LookBitmap(imageId);
    *mask = LookBitmap(maskId);
    return *image != nullptr && *mask != nullptr;
}

void DrawElement(HDC dc, int index, Look look) {
    HBITMAP image = nullptr;
    HBITMAP mask = nullptr;
    if (!ElementLook(index, look, &image, &mask)) return;
    const SkinElement& element = FrontEnd.skin.elements[index];
    DrawMasked(dc, image, mask, element.left, element.top);
}

void MouseMoved(HWND window, HWND tooltip, int x, int y) {
    SkinElementTable& table = FrontEnd.skin;
    HDC dc = GetDC(window);
    for (int i = 0; i < table.count; ++i) {
        SkinElement& element = table.elements[i];
        if (element.pressed) {
            if (!element.disabled) DrawElement(dc, i, Look::kPressed);
        } else if (element.Contains(x, y)) {
            if (element.disabled) {
                if (tooltip != nullptr) SendMessageA(tooltip, TTM_ACTIVATE, FALSE, 0);
            } else {
                DrawElement(dc, i, Look::kHover);
                element.hover = 1;
                if (tooltip != nullptr) SendMessageA(tooltip, TTM_ACTIVATE, TRUE, 0);
            }
        } else if (!element.disabled && element.hover) {
            DrawElement(dc, i, IdleLook(i));
            element.hover = 0;
        }
    }
    ReleaseDC(window, dc);
}

bool ButtonPressed(HWND window, int x, int y) {
    SkinElementTable& table = FrontEnd.skin;
    bool hit = false;
    HDC dc = GetDC(window);
    for (int i = 0; i < table.count; ++i) {
        SkinElement& element = table.elements[i];
        if (!element.Contains(x, y) || element.disabled) continue;
        DrawElement(dc, i, Look::kPressed);
        table.pressedIndex = i;
        for (int j = 0; j < table.count; ++j) table.elements[j].pressed = 0;
        element.pressed = 1;
        SetCapture(window);
        hit = true;
    }
    ReleaseDC(window, dc);
    return hit;
}

int ButtonReleased(HWND window, int x, int y) {
    SkinElementTable& table = FrontEnd.skin;
    int command = -1;
    if (table.pressedIndex != kNoElementPressed) {
        const int index = table.pressedIndex;
        SkinElement& element = table.elements[index];
        element.pressed = 0;
        HDC dc = GetDC(window);
        if (!IsCheckBox(index)) DrawElement(dc, index, IdleLook(index));
        if (!element.disabled && element.Contains(x, y)) {
            if (IsCheckBox(index)) {
                SetCheckBoxFlag(index, CheckBoxChecked(index) ? 0 : 1);
                DrawElement(dc, index, IdleLook(index));
                NotifyStateChange(window, index);
            } else {
                command = index;
            }
        } else if (IsCheckBox(index)) {
            DrawElement(dc, index, IdleLook(index));
        }
        ReleaseDC(window, dc);
    }
    table.pressedIndex = kNoElementPressed;
    ReleaseCapture();
    return command;
}

void CaptureLost(HWND window) {
    SkinElementTable& table = FrontEnd.skin;
    if (table.pressedIndex == kNoElementPressed) return;
    const int index = table.pressedIndex;
    table.elements[index].pressed = 0;
    table.pressedIndex = kNoElementPressed;
    HDC dc = GetDC(window);
    RedrawElement(dc, index);
    ReleaseDC(window, dc);
}

int ElementAt(int x, int y) {
    const SkinElementTable& table = FrontEnd.skin;
    for (int i = 0; i < table.count; ++i) {
        if (table.elements[i].Contains(x, y)) return i;
    }
    return -1;
}
