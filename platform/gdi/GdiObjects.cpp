// Device contexts, bitmaps, brushes, filling and reading bitmaps back.
#include "platform/gdi/GdiInternal.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace gdi {

namespace {

std::unordered_set<const Object*>& Live()
{
    static auto* live = new std::unordered_set<const Object*>();
    return *live;
}

constexpr int kMaxBitmapSide = 16384;

Brush* StockBrush(int index)
{
    static Brush* brushes[6] = {};
    if (index < WHITE_BRUSH || index > NULL_BRUSH) return nullptr;
    if (!brushes[index]) {
        static const BYTE gray[5] = {255, 192, 128, 64, 0};
        Brush* b = new Brush();
        b->stock = true;
        if (index == NULL_BRUSH) {
            b->hollow = true;
        } else {
            b->color = RGB(gray[index], gray[index], gray[index]);
        }
        Register(b);
        brushes[index] = b;
    }
    return brushes[index];
}

Bitmap* StockBitmap()
{
    static Bitmap* bitmap = nullptr;
    if (!bitmap) {
        bitmap = new Bitmap();
        bitmap->stock = true;
        bitmap->width = 1;
        bitmap->height = 1;
        bitmap->pixels.assign(1, 0);
        Register(bitmap);
    }
    return bitmap;
}

// Swaps the DC's selection of one kind; the counts keep DeleteObject honest.
template <class T> Object* Swap(T*& slot, T* next)
{
    T* previous = slot;
    if (previous) --previous->selectedIn;
    slot = next;
    ++next->selectedIn;
    return previous;
}

uint32_t ToPixel(COLORREF c)
{
    return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

}  // namespace

std::mutex& Lock()
{
    static std::mutex mutex;
    return mutex;
}

Object* Find(const void* handle)
{
    auto& live = Live();
    auto it = live.find(static_cast<const Object*>(handle));
    return it == live.end() ? nullptr : const_cast<Object*>(*it);
}

void Register(Object* object)
{
    Live().insert(object);
}
void Unregister(Object* object)
{
    Live().erase(object);
}

}  // namespace gdi

using namespace gdi;

HGDIOBJ GetStockObject(int index)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (index == SYSTEM_FONT || index == DEFAULT_GUI_FONT) {
        return reinterpret_cast<HGDIOBJ>(StockFont(index));
    }
    return reinterpret_cast<HGDIOBJ>(StockBrush(index));
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    std::lock_guard<std::mutex> lock(Lock());
    Brush* b = new Brush();
    b->color = color & 0x00FFFFFFu;
    Register(b);
    return reinterpret_cast<HBRUSH>(b);
}

BOOL DeleteObject(HGDIOBJ handle)
{
    std::lock_guard<std::mutex> lock(Lock());
    Object* o = Find(handle);
    if (!o || o->kind == Kind::DC) return FALSE;
    if (o->stock) return TRUE;
    if (o->selectedIn > 0) return FALSE;
    Unregister(o);
    delete o;
    return TRUE;
}

HDC CreateCompatibleDC(HDC reference)
{
    std::lock_guard<std::mutex> lock(Lock());
    DC* dc = new DC();
    Swap(dc->bitmap, StockBitmap());
    Swap(dc->brush, StockBrush(WHITE_BRUSH));
    if (Font* f = StockFont(SYSTEM_FONT)) Swap(dc->font, f);
    Register(dc);
    return reinterpret_cast<HDC>(dc);
}

HBITMAP CreateCompatibleBitmap(HDC reference, int width, int height)
{
    if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide) { return nullptr; }
    std::lock_guard<std::mutex> lock(Lock());
    Bitmap* b = new Bitmap();
    b->width = width;
    b->height = height;
    b->pixels.assign(size_t(width) * size_t(height), 0);
    Register(b);
    return reinterpret_cast<HBITMAP>(b);
}

BOOL DeleteDC(HDC handle)
{
    std::lock_guard<std::mutex> lock(Lock());
    DC* dc = FindAs<DC>(handle, Kind::DC);
    if (!dc) return FALSE;
    // The selected objects stay alive: they belong to the caller.
    if (dc->bitmap) --dc->bitmap->selectedIn;
    if (dc->font) --dc->font->selectedIn;
    if (dc->brush) --dc->brush->selectedIn;
    Unregister(dc);
    delete dc;
    return TRUE;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ objectHandle)
{
    std::lock_guard<std::mutex> lock(Lock());
    DC* dc = FindAs<DC>(handle, Kind::DC);
    Object* o = Find(objectHandle);
    if (!dc || !o) return nullptr;
    switch (o->kind) {
    case Kind::Bitmap: {
        Bitmap* b = static_cast<Bitmap*>(o);
        // A bitmap can be selected into one memory DC at a time.
        if (!b->stock && b->selectedIn > 0 && dc->bitmap != b) return nullptr;
        return reinterpret_cast<HGDIOBJ>(Swap(dc->bitmap, b));
    }
    case Kind::Font:
        return reinterpret_cast<HGDIOBJ>(Swap(dc->font, static_cast<Font*>(o)));
    case Kind::Brush:
        return reinterpret_cast<HGDIOBJ>(Swap(dc->brush, static_cast<Brush*>(o)));
    case Kind::DC:
        break;
    }
    return nullptr;
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brushHandle)
{
    std::lock_guard<std::mutex> lock(Lock());
    DC* dc = FindAs<DC>(handle, Kind::DC);
    Brush* brush = FindAs<Brush>(brushHandle, Kind::Brush);
    if (!dc || !brush || !rect) return 0;
    if (brush->hollow) return 1;
    Bitmap& b = *dc->bitmap;
    // Right and bottom edges are exclusive, as in GDI.
    int left = std::max<LONG>(rect->left, 0), top = std::max<LONG>(rect->top, 0);
    int right = std::min<LONG>(rect->right, b.width), bottom = std::min<LONG>(rect->bottom, b.height);
    uint32_t pixel = ToPixel(brush->color);
    for (int y = top; y < bottom; ++y) {
        std::fill_n(&b.pixels[size_t(y) * b.width + left], std::max(right - left, 0), pixel);
    }
    return 1;
}

int SetBkMode(HDC handle, int mode)
{
    std::lock_guard<std::mutex> lock(Lock());
    DC* dc = FindAs<DC>(handle, Kind::DC);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

COLORREF SetBkColor(HDC handle, COLORREF color)
{
    std::lock_guard<std::mutex> lock(Lock());
    DC* dc = FindAs<DC>(handle, Kind::DC);
    if (!dc) return CLR_INVALID;
    COLORREF previous = dc->bkColor;
    dc->bkColor = color & 0x00FFFFFFu;
    return previous;
}

COLORREF SetTextColor(HDC handle, COLORREF color)
{
    std::lock_guard<std::mutex> lock(Lock());
    DC* dc = FindAs<DC>(handle, Kind::DC);
    if (!dc) return CLR_INVALID;
    COLORREF previous = dc->textColor;
    dc->textColor = color & 0x00FFFFFFu;
    return previous;
}

int GetDIBits(HDC dcHandle, HBITMAP bitmapHandle, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info,
              UINT usage)
{
    std::lock_guard<std::mutex> lock(Lock());
    Bitmap* b = FindAs<Bitmap>(bitmapHandle, Kind::Bitmap);
    if (!b || !info || info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return 0;
    BITMAPINFOHEADER& h = info->bmiHeader;
    if (!bits) {
        h.biWidth = b->width;
        h.biHeight = b->height;
        h.biPlanes = 1;
        h.biBitCount = 32;
        h.biCompression = BI_RGB;
        h.biSizeImage = DWORD(b->width) * DWORD(b->height) * 4;
        return b->height;
    }
    if (h.biBitCount != 32 || h.biCompression != BI_RGB || h.biWidth <= 0 || h.biHeight == 0 ||
        usage != DIB_RGB_COLORS) {
        return 0;
    }
    const bool bottomUp = h.biHeight > 0;
    const int64_t dibHeight = bottomUp ? int64_t(h.biHeight) : -int64_t(h.biHeight);
    const int columns = std::min<int>(h.biWidth, b->width);
    uint32_t* out = static_cast<uint32_t*>(bits);
    int copied = 0;
    for (int64_t line = start; line < int64_t(start) + lines && line < dibHeight; ++line) {
        // Bottom-up lines count from the bitmap's bottom row.
        int64_t row = bottomUp ? int64_t(b->height) - 1 - line : line;
        uint32_t* dst = out + size_t(line - start) * size_t(h.biWidth);
        if (row >= 0 && row < b->height) {
            std::memcpy(dst, &b->pixels[size_t(row) * b->width], size_t(columns) * 4);
        } else {
            std::fill_n(dst, columns, 0u);
        }
        std::fill_n(dst + columns, h.biWidth - columns, 0u);
        ++copied;
    }
    return copied;
}
