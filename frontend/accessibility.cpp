#include "accessibility.h"

#include <oleacc.h>

#include <string>

#include "focus_order.h"
#include "front_end.h"
#include "late_binding.h"
#include "keyboard_focus.h"
#include "skin.h"

namespace {

// The accessibility and COM functions, bound on the first request for the
// window's object: most runs meet no assistive technology, and loading
// these libraries at start-up would slow every start.
struct OleFunctions {
    decltype(&::CoInitializeEx) CoInitializeEx = BindLate<decltype(&::CoInitializeEx)>("ole32.dll", "CoInitializeEx");
    decltype(&::LresultFromObject) LresultFromObject =
        BindLate<decltype(&::LresultFromObject)>("oleacc.dll", "LresultFromObject");
    decltype(&::CreateStdAccessibleObject) CreateStdAccessibleObject =
        BindLate<decltype(&::CreateStdAccessibleObject)>("oleacc.dll", "CreateStdAccessibleObject");
    decltype(&::SysAllocStringLen) SysAllocStringLen =
        BindLate<decltype(&::SysAllocStringLen)>("oleaut32.dll", "SysAllocStringLen");
    bool bound() const { return CoInitializeEx && LresultFromObject && CreateStdAccessibleObject && SysAllocStringLen; }
};

// Bound once, on the user-interface thread, which enters its
// single-threaded apartment then.
const OleFunctions& Ole() {
    static const OleFunctions functions = [] {
        OleFunctions bound;
        if (bound.CoInitializeEx != nullptr) bound.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        return bound;
    }();
    return functions;
}

// VariantInit, without the library: an empty variant.
void EmptyVariant(VARIANT* variant) { variant->vt = VT_EMPTY; }

// The panel's lines and the status line, after the elements; their field
// rectangles in client coordinates.
struct TextLine {
    const char* name;
    const std::string FrontEndState::*value;
    RECT field;
};
constexpr TextLine kTextLines[] = {
    {"Flash Type", &FrontEndState::flashTypeLine, {149, 82, 345, 96}},
    {"Flash Size", &FrontEndState::flashSizeLine, {149, 101, 345, 115}},
    {"BIOS Sign-on", &FrontEndState::signOnLine, {149, 120, 345, 134}},
    {"BIOS Vendor", &FrontEndState::vendorLine, {149, 137, 345, 151}},
    {"Status", &FrontEndState::statusText, {40, 170, 356, 203}},
};
constexpr long kTextLineCount = long(sizeof kTextLines / sizeof kTextLines[0]);

// The keys that run an element, as assistive technology names them.
const char* ShortcutOf(int index) {
    switch (index) {
    case kUpdateFromServer: return "Alt+S";
    case kUpdateFromFile: return "Alt+F";
    case kSaveBios: return "Alt+V";
    case kAbout: return "Alt+A";
    case kHelp: return "F1";
    default: return nullptr;
    }
}

BSTR Text(const std::string& text) {
    const int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    BSTR result = Ole().SysAllocStringLen(nullptr, UINT(wide));
    if (result != nullptr && wide > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), result, wide);
    return result;
}

// The elements in reading order: the same walk as the keyboard's.
int ElementsInReadingOrder(int* order) {
    const SkinElementTable& table = FrontEnd.skin;
    vossel::FocusCandidate all[kElementCapacity];
    for (int i = 0; i < table.count; ++i) all[i] = {table.elements[i].left, table.elements[i].top, true};
    int at = -1;
    for (int k = 0; k < table.count; ++k) order[k] = at = vossel::NextFocus(all, size_t(table.count), at, false);
    return table.count;
}

// Child identifiers: 1 to the element count in reading order, then the text
// lines.
int ElementOfChild(long child) {
    int order[kElementCapacity];
    const int count = ElementsInReadingOrder(order);
    return child >= 1 && child <= count ? order[child - 1] : -1;
}

long ChildOfElement(int index) {
    int order[kElementCapacity];
    const int count = ElementsInReadingOrder(order);
    for (int k = 0; k < count; ++k) {
        if (order[k] == index) return k + 1;
    }
    return CHILDID_SELF;
}

const TextLine* TextLineOfChild(long child) {
    const long first = FrontEnd.skin.count + 1;
    return child >= first && child < first + kTextLineCount ? &kTextLines[child - first] : nullptr;
}

class SkinAccessible final : public IAccessible {
public:
    explicit SkinAccessible(HWND window) : window_(window) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return ULONG(left);
    }

    // IDispatch: assistive technology calls the interface's methods directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        *parent = nullptr;
        if (!IsWindow(window_)) return E_FAIL;
        return Ole().CreateStdAccessibleObject(window_, OBJID_WINDOW, IID_IDispatch, reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        *count = FrontEnd.skin.count + kTextLineCount;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        *object = nullptr;
        // Every child is a simple element of this object.
        return Valid(child) && child.lVal != CHILDID_SELF ? S_FALSE : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        *name = nullptr;
        if (!Valid(child)) return E_INVALIDARG;
        if (child.lVal == CHILDID_SELF) return Give(std::string("Zorvik"), name);
        if (const int index = ElementOfChild(child.lVal); index >= 0) {
            return Give(std::string(FrontEnd.skin.elements[index].name), name);
        }
        return Give(std::string(TextLineOfChild(child.lVal)->name), name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        *value = nullptr;
        if (!Valid(child)) return E_INVALIDARG;
        const TextLine* line = TextLineOfChild(child.lVal);
        if (line == nullptr) return S_FALSE;
        return Give(FrontEnd.*(line->value), value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override { return Nothing(child, text); }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        EmptyVariant(role);
        if (!Valid(child)) return E_INVALIDARG;
        role->vt = VT_I4;
        const int index = ElementOfChild(child.lVal);
        if (child.lVal == CHILDID_SELF) {
            role->lVal = ROLE_SYSTEM_CLIENT;
        } else if (index < 0) {
            role->lVal = ROLE_SYSTEM_STATICTEXT;
        } else {
            role->lVal = IsCheckBox(index) ? ROLE_SYSTEM_CHECKBUTTON : ROLE_SYSTEM_PUSHBUTTON;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        EmptyVariant(state);
        if (!Valid(child)) return E_INVALIDARG;
        state->vt = VT_I4;
        state->lVal = 0;
        const bool windowFocused = GetFocus() == window_;
        if (child.lVal == CHILDID_SELF) {
            state->lVal = STATE_SYSTEM_FOCUSABLE | (windowFocused && FocusedChild() == CHILDID_SELF ? STATE_SYSTEM_FOCUSED : 0);
            return S_OK;
        }
        const int index = ElementOfChild(child.lVal);
        if (index < 0) {
            state->lVal = STATE_SYSTEM_READONLY;
            return S_OK;
        }
        const SkinElement& element = FrontEnd.skin.elements[index];
        long bits = 0;
        if (element.disabled) {
            bits |= STATE_SYSTEM_UNAVAILABLE;
        } else {
            bits |= STATE_SYSTEM_FOCUSABLE;
            if (index == FrontEnd.focusIndex) bits |= STATE_SYSTEM_FOCUSED;
            if (element.hover) bits |= STATE_SYSTEM_HOTTRACKED;
            if (element.pressed) bits |= STATE_SYSTEM_PRESSED;
        }
        if (IsCheckBox(index) && !FrontEnd.checkBoxesHidden && CheckBoxChecked(index)) bits |= STATE_SYSTEM_CHECKED;
        state->lVal = bits;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override { return Nothing(child, text); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        *file = nullptr;
        *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
        *keys = nullptr;
        if (!Valid(child)) return E_INVALIDARG;
        const char* shortcut = ShortcutOf(ElementOfChild(child.lVal));
        return shortcut != nullptr ? Give(std::string(shortcut), keys) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        EmptyVariant(focus);
        if (GetFocus() != window_) return S_FALSE;
        focus->vt = VT_I4;
        focus->lVal = FocusedChild();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        EmptyVariant(selection);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        *action = nullptr;
        if (!Valid(child)) return E_INVALIDARG;
        const int index = ElementOfChild(child.lVal);
        if (index < 0) return S_FALSE;
        if (IsCheckBox(index)) return Give(std::string(CheckBoxChecked(index) ? "Uncheck" : "Check"), action);
        return Give(std::string("Press"), action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        if (!Valid(child)) return E_INVALIDARG;
        RECT rect;
        if (child.lVal == CHILDID_SELF) {
            GetClientRect(window_, &rect);
        } else if (const int index = ElementOfChild(child.lVal); index >= 0) {
            const SkinElement& element = FrontEnd.skin.elements[index];
            rect = RECT{element.left, element.top, element.right, element.bottom};
        } else {
            rect = TextLineOfChild(child.lVal)->field;
        }
        MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&rect), 2);
        *left = rect.left;
        *top = rect.top;
        *width = rect.right - rect.left;
        *height = rect.bottom - rect.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long, VARIANT, VARIANT* end) override {
        EmptyVariant(end);
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        EmptyVariant(child);
        POINT point = {x, y};
        ScreenToClient(window_, &point);
        RECT client;
        GetClientRect(window_, &client);
        if (!PtInRect(&client, point)) return S_FALSE;
        child->vt = VT_I4;
        child->lVal = CHILDID_SELF;
        const SkinElementTable& table = FrontEnd.skin;
        for (int i = 0; i < table.count; ++i) {
            if (table.elements[i].Contains(point.x, point.y)) child->lVal = ChildOfElement(i);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (!Valid(child)) return E_INVALIDARG;
        const int index = ElementOfChild(child.lVal);
        if (index < 0) return DISP_E_MEMBERNOTFOUND;
        // Run from the window's own messages, not from inside this call.
        PostMessageA(window_, kAccessibleActionMessage, WPARAM(index), 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~SkinAccessible() = default;

    static bool Valid(const VARIANT& child) {
        if (child.vt != VT_I4) return false;
        return child.lVal >= CHILDID_SELF && child.lVal <= FrontEnd.skin.count + kTextLineCount;
    }
    static HRESULT Give(const std::string& text, BSTR* out) {
        *out = Text(text);
        return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT Nothing(const VARIANT& child, BSTR* out) {
        *out = nullptr;
        return Valid(child) ? S_FALSE : E_INVALIDARG;
    }
    static long FocusedChild() {
        const int index = FrontEnd.focusIndex;
        if (index < 0 || index >= FrontEnd.skin.count || FrontEnd.skin.elements[index].disabled) return CHILDID_SELF;
        return ChildOfElement(index);
    }

    LONG references_ = 1;
    HWND window_;
};

}  // namespace

LRESULT AccessibleObjectResult(HWND window, WPARAM wParam, LPARAM lParam) {
    if (LONG(lParam) != OBJID_CLIENT || !Ole().bound()) return 0;
    SkinAccessible* object = new SkinAccessible(window);
    const LRESULT result = Ole().LresultFromObject(__uuidof(IAccessible), wParam, object);
    object->Release();
    return result > 0 ? result : 0;
}

void NotifyFocus(HWND window, int index) { NotifyWinEvent(EVENT_OBJECT_FOCUS, window, OBJID_CLIENT, ChildOfElement(index)); }

void NotifyStateChange(HWND window, int index) {
    NotifyWinEvent(EVENT_OBJECT_STATECHANGE, window, OBJID_CLIENT, ChildOfElement(index));
}
