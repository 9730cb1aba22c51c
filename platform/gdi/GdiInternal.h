// The objects behind the GDI handles, shared by the object and text halves of
// the stand-in. Every handle is a pointer to an Object that is looked up in the
// live set before use, so stale and foreign handles are refused.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/win32/Utf8.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

typedef struct FT_FaceRec_* FT_Face;

namespace gdi {

enum class Kind { Bitmap, Brush, Font, DC };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Kind kind;
    bool stock = false;
    int selectedIn = 0;  // how many DCs hold it selected
};

// Pixels are 0x00RRGGBB words (B, G, R, 0 bytes in memory), rows top first.
struct Bitmap : Object {
    Bitmap() : Object(Kind::Bitmap) {}
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

struct Brush : Object {
    Brush() : Object(Kind::Brush) {}
    COLORREF color = 0;
    bool hollow = false;
};

struct Font : Object {
    Font() : Object(Kind::Font) {}
    ~Font() override;
    FT_Face face = nullptr;
    int ppem = 0;     // em size in pixels
    int ascent = 0;   // baseline below the cell top
    int descent = 0;  // cell height = ascent + descent
    int weight = FW_NORMAL;
    bool italic = false;
    bool embolden = false;  // bold asked of a lighter face: synthesised
    bool oblique = false;   // italic asked of an upright face: synthesised
    bool mono = false;      // NONANTIALIASED_QUALITY
    int advances[256];      // codes 0..255, -1 until measured
};

struct DC : Object {
    DC() : Object(Kind::DC) {}
    Bitmap* bitmap = nullptr;
    Font* font = nullptr;
    Brush* brush = nullptr;
    int bkMode = OPAQUE;
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
};

// One lock around every GDI call: the state is process-wide, as GDI's is.
std::mutex& Lock();

// The live object behind a handle, or null when the handle is not one of ours
// or not of that kind. Call with the lock held.
Object* Find(const void* handle);
template <class T> T* FindAs(const void* handle, Kind kind)
{
    Object* o = Find(handle);
    return o && o->kind == kind ? static_cast<T*>(o) : nullptr;
}
void Register(Object* object);
void Unregister(Object* object);

// The stock font a new DC starts with (lock held).
Font* StockFont(int index);

// Text (lock held). Advance of one character in pixels.
int Advance(Font& font, uint32_t code);
void DrawText(Bitmap& bitmap, Font& font, int x, int y, const WCHAR* text, int count, COLORREF color);

}  // namespace gdi
