#include "keyboard_focus.h"

#include "accessibility.h"
#include "commands.h"
#include "focus_order.h"
#include "front_end.h"

namespace {

// The access keys and the elements they run.
struct AccessKey {
    UINT key;
    int index;
};
constexpr AccessKey kAccessKeys[] = {
    {'S', kUpdateFromServer},
    {'F', kUpdateFromFile},
    {'V', kSaveBios},
    {'A', kAbout},
};

bool Enabled(int index) {
    const SkinElementTable& table = FrontEnd.skin;
    return index >= 0 && index < table.count && table.elements[index].disabled == 0;
}

void SetFocusTo(HWND window, int index) {
    const int old = FrontEnd.focusIndex;
    if (index == old) return;
    FrontEnd.focusIndex = index;
    HDC dc = GetDC(window);
    if (old >= 0) RedrawElement(dc, old);
    if (index >= 0) RedrawElement(dc, index);
    ReleaseDC(window, dc);
    if (index >= 0) NotifyFocus(window, index);
}

void MoveFocus(HWND window, bool backward) {
    const SkinElementTable& table = FrontEnd.skin;
    vossel::FocusCandidate candidates[kElementCapacity];
    for (int i = 0; i < table.count; ++i) {
        const SkinElement& element = table.elements[i];
        candidates[i] = {element.left, element.top, element.disabled == 0};
    }
    const int next = vossel::NextFocus(candidates, size_t(table.count), FrontEnd.focusIndex, backward);
    // While a command runs nothing is enabled: the focus stays where it was
    // and shows again when the command has ended.
    if (next >= 0) SetFocusTo(window, next);
}

}  // namespace

Look IdleLook(int index) { return index == FrontEnd.focusIndex && Enabled(index) ? Look::kFocus : Look::kResting; }

void RedrawElement(HDC dc, int index) {
    if (index < 0 || index >= FrontEnd.skin.count) return;
    const SkinElement& element = FrontEnd.skin.elements[index];
    if (element.pressed) {
        DrawElement(dc, index, Look::kPressed);
    } else if (element.disabled) {
        // Small buttons have no disabled look: their resting one.
        DrawElement(dc, index, IsWideButton(index) || IsCheckBox(index) ? Look::kDisabled : Look::kResting);
    } else if (element.hover) {
        DrawElement(dc, index, Look::kHover);
    } else {
        DrawElement(dc, index, IdleLook(index));
    }
}

void ActivateElement(HWND window, int index) {
    if (!Enabled(index)) return;
    if (IsCheckBox(index)) {
        SetCheckBoxFlag(index, CheckBoxChecked(index) ? 0 : 1);
        HDC dc = GetDC(window);
        RedrawElement(dc, index);
        ReleaseDC(window, dc);
        NotifyStateChange(window, index);
        return;
    }
    RunElementCommand(window, index);
}

bool IsAccessKey(WPARAM character) {
    const UINT upper = character >= 'a' && character <= 'z' ? UINT(character - 'a' + 'A') : UINT(character);
    for (const AccessKey& access : kAccessKeys) {
        if (access.key == upper) return true;
    }
    return false;
}

bool KeyPressed(HWND window, UINT key) {
    switch (key) {
    case VK_TAB: MoveFocus(window, GetKeyState(VK_SHIFT) < 0); return true;
    case VK_RIGHT:
    case VK_DOWN: MoveFocus(window, false); return true;
    case VK_LEFT:
    case VK_UP: MoveFocus(window, true); return true;
    case VK_RETURN:
    case VK_SPACE: ActivateElement(window, FrontEnd.focusIndex); return true;
    case VK_F1: ActivateElement(window, kHelp); return true;
    default: break;
    }
    for (const AccessKey& access : kAccessKeys) {
        if (access.key != key) continue;
        if (Enabled(access.index)) {
            SetFocusTo(window, access.index);
            ActivateElement(window, access.index);
        }
        return true;
    }
    return false;
}
