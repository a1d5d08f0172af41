#include "drawing.h"

#include <cstring>
#include <vector>

#include "dpi_scale.h"
#include "kestrom_resource.h"
#include "progress_display.h"
#include "skin_scale.h"
#include "window_shape.h"

namespace {

constexpr int kPanelFontTenthsOfPoint = 80;
constexpr LONG kPanelFontWeight = 40;
constexpr char kPanelFontFace[] = "Arial New";
constexpr COLORREF kPanelTextColour = RGB(255, 255, 0);

// A memory device context with bitmap selected, restored and released at the end.
class MemoryContext {
public:
    MemoryContext(HDC compatible, HBITMAP bitmap) : dc_(CreateCompatibleDC(compatible)) {
        old_ = SelectObject(dc_, bitmap);
    }
    ~MemoryContext() {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    MemoryContext(const MemoryContext&) = delete;
    MemoryContext& operator=(const MemoryContext&) = delete;
    HDC dc() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ old_;
};

HRGN RegionOf(const vossel::WindowShape& shape, const vossel::ShapeBatch& batch) {
    std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + batch.count * sizeof(RECT));
    auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
    header->dwSize = sizeof(RGNDATAHEADER);
    header->iType = RDH_RECTANGLES;
    header->nCount = DWORD(batch.count);
    header->nRgnSize = DWORD(batch.count * sizeof(RECT));
    header->rcBound = RECT{batch.bound.left, batch.bound.top, batch.bound.right, batch.bound.bottom};
    if (batch.count > 0) {
        std::memcpy(data.data() + sizeof(RGNDATAHEADER), &shape.rectangles[batch.first], batch.count * sizeof(RECT));
    }
    return ExtCreateRegion(nullptr, DWORD(data.size()), reinterpret_cast<const RGNDATA*>(data.data()));
}

// The panel's font for the skin set on screen, made once per set: the panel
// draws several lines on each paint. The font grows with the skin set, not
// with the screen's DPI, so that the text keeps to its fields whichever set
// is shown.
HFONT PanelFont() {
    static HFONT font = nullptr;
    static LONG fontHeight = 0;
    const LONG height = -MulDiv(kPanelFontTenthsOfPoint, SkinPx(vossel::kBaseDpi), 720);
    if (font != nullptr && height == fontHeight) return font;
    LOGFONTA description = {};
    description.lfHeight = height;
    description.lfWeight = kPanelFontWeight;
    lstrcpynA(description.lfFaceName, kPanelFontFace, sizeof description.lfFaceName);
    if (HFONT made = CreateFontIndirectA(&description)) {
        if (font != nullptr) DeleteObject(font);
        font = made;
        fontHeight = height;
    }
    return font;
}

}  // namespace

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info = {};
    GetObjectA(bitmap, sizeof info, &info);
    return SIZE{info.bmWidth, info.bmHeight};
}

void DrawMasked(HDC target, HBITMAP image, HBITMAP mask, int x, int y) {
    const SIZE size = BitmapSize(image);
    HDC work = CreateCompatibleDC(target);
    HBITMAP canvas = CreateCompatibleBitmap(target, size.cx, size.cy);
    HGDIOBJ old = SelectObject(work, canvas);
    BitBlt(work, 0, 0, size.cx, size.cy, target, x, y, SRCCOPY);
    {
        MemoryContext mask_dc(target, mask);
        BitBlt(work, 0, 0, size.cx, size.cy, mask_dc.dc(), 0, 0, SRCAND);
    }
    {
        MemoryContext image_dc(target, image);
        BitBlt(work, 0, 0, size.cx, size.cy, image_dc.dc(), 0, 0, SRCPAINT);
    }
    BitBlt(target, x, y, size.cx, size.cy, work, 0, 0, SRCCOPY);
    SelectObject(work, old);
    DeleteObject(canvas);
    DeleteDC(work);
}

void DrawPlain(HDC target, HBITMAP bitmap, int x, int y, int width, int height) {
    MemoryContext source(target, bitmap);
    BitBlt(target, x, y, width, height, source.dc(), 0, 0, SRCCOPY);
}

HRGN WindowShapeFromSkin(HBITMAP skin, uint32_t keyColour, uint32_t tolerance) {
    const SIZE size = BitmapSize(skin);
    if (size.cx <= 0 || size.cy <= 0) return nullptr;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = size.cy;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint8_t> bits(size_t(size.cx) * size_t(size.cy) * 4);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, skin, 0, UINT(size.cy), bits.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != size.cy) return nullptr;

    vossel::WindowShape shape;
    const vossel::DibPixels pixels{bits.data(), bits.size(), size.cx, size.cy, vossel::DibRowOrder::kBottomUp};
    if (!vossel::BuildWindowShape(pixels, vossel::ColourKey(keyColour, tolerance), &shape)) return nullptr;
    HRGN result = nullptr;
    for (const vossel::ShapeBatch& batch : shape.batches) {
        HRGN region = RegionOf(shape, batch);
        if (region == nullptr) continue;
        if (result == nullptr) {
            result = region;
        } else {
            CombineRgn(result, result, region, RGN_OR);
            DeleteObject(region);
        }
    }
    return result;
}

void DrawPanelText(HWND window, const char* text, int x, int y, COLORREF background, int clipRight) {
    x = SkinPx(x);
    y = SkinPx(y);
    clipRight = SkinPx(clipRight);
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, PanelFont());
    SetTextColor(dc, kPanelTextColour);
    SetBkColor(dc, background);
    const int length = int(vossel::PanelTextDrawnLength(text));
    SIZE extent = {};
    GetTextExtentPoint32A(dc, text, length, &extent);
    const RECT clip = {x, y, clipRight > x ? clipRight : x, y + extent.cy};
    ExtTextOutA(dc, x, y, ETO_CLIPPED | ETO_OPAQUE, &clip, text, UINT(length), nullptr);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
}

void DrawProgressBar(HWND window, int32_t percentage) {
    HBITMAP frame = LoadBitmapA(GetModuleHandleA(nullptr),
                                MAKEINTRESOURCEA(SkinBitmapId(vossel::ProgressFrameResource(percentage))));
    if (frame == nullptr) return;
    HDC dc = GetDC(window);
    const SIZE size = BitmapSize(frame);
    DrawPlain(dc, frame, SkinPx(vossel::kProgressBarX), SkinPx(vossel::kProgressBarY), size.cx, size.cy);
    ReleaseDC(window, dc);
    DeleteObject(frame);
}
