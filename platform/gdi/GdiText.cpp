// Font files, fonts and text: FreeType rasterizes, fontconfig finds a face by
// name when none was registered under it.
#include "platform/gdi/GdiInternal.h"
#include "platform/host/ContentFile.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cwctype>
#include <set>
#include <unistd.h>

namespace gdi {

namespace {

FT_Library Library()
{
    static FT_Library library = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) {
            LogPrintf("[gdi] FreeType could not be initialised\n");
            return FT_Library(nullptr);
        }
        return l;
    }();
    return library;
}

// A face made available by AddFontResourceW.
struct RegisteredFace {
    std::wstring file;  // as given, for RemoveFontResourceW
    std::string path;   // UTF-8
    long index = 0;
    std::vector<std::wstring> families;  // lower-cased names it answers to
    int weight = FW_NORMAL;
    bool italic = false;
    int addition = 0;  // which AddFontResourceW call added it
};

std::vector<RegisteredFace>& Registry()
{
    static auto* registry = new std::vector<RegisteredFace>();
    return *registry;
}

std::wstring Lower(std::wstring s)
{
    for (auto& c : s) c = static_cast<WCHAR>(std::towlower(static_cast<wint_t>(c)));
    return s;
}

std::wstring Widen(const char* utf8)
{
    std::wstring out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
    while (p && *p) {
        uint32_t c = *p++;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) c &= (0x3F >> extra);
        for (; extra > 0 && (*p & 0xC0) == 0x80; --extra) c = (c << 6) | (*p++ & 0x3F);
        out += static_cast<WCHAR>(c);
    }
    return out;
}

// The family names GDI matches a face by: the Windows-platform family name
// (name id 1, UTF-16BE) in every language, plus FreeType's family name.
std::vector<std::wstring> FamilyNames(FT_Face face)
{
    std::vector<std::wstring> names;
    FT_UInt count = FT_Get_Sfnt_Name_Count(face);
    for (FT_UInt i = 0; i < count; ++i) {
        FT_SfntName name;
        if (FT_Get_Sfnt_Name(face, i, &name) != 0) continue;
        if (name.name_id != TT_NAME_ID_FONT_FAMILY || name.platform_id != TT_PLATFORM_MICROSOFT) { continue; }
        std::wstring s;
        for (FT_UInt k = 0; k + 1 < name.string_len; k += 2) {
            s += static_cast<WCHAR>((name.string[k] << 8) | name.string[k + 1]);
        }
        if (!s.empty()) names.push_back(Lower(s));
    }
    if (face->family_name) names.push_back(Lower(Widen(face->family_name)));
    return names;
}

int FaceWeight(FT_Face face)
{
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWeightClass >= 1 && os2->usWeightClass <= 1000) {
        return os2->usWeightClass;
    }
    return (face->style_flags & FT_STYLE_FLAG_BOLD) ? FW_BOLD : FW_NORMAL;
}

// fontconfig's best scalable match for a family name, weight and slant.
bool MatchWithFontconfig(const std::string& family, int weight, bool italic, std::string& path, long& index,
                         std::string& matchedFamily)
{
    // fontconfig keeps its configuration until FcFini; release it at exit so
    // leak checkers see a clean process.
    static bool ready = [] {
        if (!FcInit()) return false;
        std::atexit([] { FcFini(); });
        return true;
    }();
    if (!ready) return false;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY,
                       reinterpret_cast<const FcChar8*>(family.empty() ? "sans-serif" : family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, int(FcWeightFromOpenTypeDouble(weight)));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* file = nullptr;
    int faceIndex = 0;
    bool found = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
    if (found) {
        path = reinterpret_cast<const char*>(file);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &faceIndex) == FcResultMatch) index = faceIndex;
        FcChar8* name = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name)
            matchedFamily = reinterpret_cast<const char*>(name);
    }
    FcPatternDestroy(match);
    return found;
}

// Sizes the face: a positive height is the cell (the Windows ascent plus
// descent of the OS/2 table), a negative one the em.
bool SizeFont(Font& font, int height)
{
    FT_Face face = font.face;
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return false;
    double up = face->units_per_EM;
    double winAscent = face->ascender, winDescent = -face->descender;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        winAscent = os2->usWinAscent;
        winDescent = os2->usWinDescent;
    }
    if (winAscent + winDescent <= 0) return false;
    if (height == 0) height = 16;
    if (height > 0) {
        font.ppem = std::max(1, int(std::lround(height * up / (winAscent + winDescent))));
        font.ascent = int(std::lround(winAscent * height / (winAscent + winDescent)));
        font.descent = height - font.ascent;
    } else {
        font.ppem = std::min(-height, 4096);
        font.ascent = int(std::lround(winAscent * font.ppem / up));
        font.descent = int(std::lround(winDescent * font.ppem / up));
    }
    font.ppem = std::min(font.ppem, 4096);
    return FT_Set_Pixel_Sizes(face, 0, FT_UInt(font.ppem)) == 0;
}

// Loads (and with render, rasterizes) one character into the face's slot.
bool LoadChar(Font& font, uint32_t code, bool render)
{
    FT_UInt glyph = FT_Get_Char_Index(font.face, code);  // 0: the missing-glyph box
    FT_Int32 flags = font.mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL;
    if (FT_Load_Glyph(font.face, glyph, flags) != 0) return false;
    FT_GlyphSlot slot = font.face->glyph;
    if (font.oblique) FT_GlyphSlot_Oblique(slot);
    if (font.embolden) FT_GlyphSlot_Embolden(slot);
    if (render && slot->format != FT_GLYPH_FORMAT_BITMAP) {
        if (FT_Render_Glyph(slot, font.mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) {
            return false;
        }
    }
    return true;
}

int SlotAdvance(FT_Face face)
{
    return int((face->glyph->advance.x + 32) >> 6);
}

Font* MakeFont(int height, int weight, bool italic, DWORD quality, const WCHAR* faceName)
{
    if (!Library()) return nullptr;
    if (weight <= 0) weight = FW_NORMAL;
    std::wstring wanted = Lower(faceName ? faceName : L"");
    std::string path;
    long index = 0;
    int faceWeight = weight;
    bool faceItalic = italic;
    // A registered face of that family: the closest weight, the slant first.
    const RegisteredFace* best = nullptr;
    int bestScore = 0;
    for (const RegisteredFace& r : Registry()) {
        if (std::find(r.families.begin(), r.families.end(), wanted) == r.families.end()) continue;
        int score = std::abs(r.weight - weight) + (r.italic != italic ? 10000 : 0);
        if (!best || score < bestScore) {
            best = &r;
            bestScore = score;
        }
    }
    if (best) {
        path = best->path;
        index = best->index;
        faceWeight = best->weight;
        faceItalic = best->italic;
    } else {
        std::string matched;
        if (!MatchWithFontconfig(Utf8FromWide(faceName), weight, italic, path, index, matched))
            return nullptr;
        // A family that is not there is replaced by another: say so, once per
        // name. The generic names stand for whatever the system prefers.
        static std::set<std::wstring> told = {L"", L"sans-serif", L"serif", L"monospace", L"sans", L"mono"};
        if (Lower(Widen(matched.c_str())) != wanted && told.insert(wanted).second)
            LogPrintf("[gdi] No font named '%ls': '%s' stands in\n", faceName, matched.c_str());
    }
    Font* font = new Font();
    std::fill_n(font->advances, 256, -1);
    if (FT_New_Face(Library(), path.c_str(), index, &font->face) != 0) {
        font->face = nullptr;
        delete font;
        return nullptr;
    }
    if (!best) {
        faceWeight = FaceWeight(font->face);
        faceItalic = (font->face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    }
    font->weight = weight;
    font->italic = italic;
    font->embolden = weight >= FW_SEMIBOLD && faceWeight < FW_SEMIBOLD;
    font->oblique = italic && !faceItalic;
    font->mono = quality == NONANTIALIASED_QUALITY;
    if (!SizeFont(*font, height)) {
        delete font;
        return nullptr;
    }
    return font;
}

COLORREF Blend(uint32_t dst, COLORREF color, unsigned coverage)
{
    auto mix = [&](unsigned d, unsigned s) { return (d * (255 - coverage) + s * coverage + 127) / 255; };
    unsigned r = mix((dst >> 16) & 0xFF, GetRValue(color));
    unsigned g = mix((dst >> 8) & 0xFF, GetGValue(color));
    unsigned b = mix(dst & 0xFF, GetBValue(color));
    return (r << 16) | (g << 8) | b;
}

}  // namespace

Font::~Font()
{
    if (face) FT_Done_Face(face);
}

Font* StockFont(int index)
{
    static Font* system = nullptr;
    static Font* gui = nullptr;
    Font*& slot = index == DEFAULT_GUI_FONT ? gui : system;
    if (!slot) {
        slot =
            MakeFont(index == DEFAULT_GUI_FONT ? -11 : 16, FW_NORMAL, false, DEFAULT_QUALITY, L"sans-serif");
        if (slot) {
            slot->stock = true;
            Register(slot);
        }
    }
    return slot;
}

int Advance(Font& font, uint32_t code)
{
    if (code < 256 && font.advances[code] >= 0) return font.advances[code];
    int advance = LoadChar(font, code, false) ? SlotAdvance(font.face) : 0;
    if (code < 256) font.advances[code] = advance;
    return advance;
}

void DrawText(Bitmap& bitmap, Font& font, int x, int y, const WCHAR* text, int count, COLORREF color)
{
    int64_t penX = x;
    const int64_t baseline = int64_t(y) + font.ascent;
    // Like GDI, glyph parts above the ascent or below the descent are clipped:
    // the cell is the text's box.
    const int64_t cellTop = y, cellBottom = int64_t(y) + font.ascent + font.descent;
    for (int i = 0; i < count; ++i) {
        uint32_t code = static_cast<uint32_t>(text[i]);
        if (!LoadChar(font, code, true)) continue;
        FT_GlyphSlot slot = font.face->glyph;
        const FT_Bitmap& g = slot->bitmap;
        int64_t left = penX + slot->bitmap_left;
        int64_t top = baseline - slot->bitmap_top;
        for (unsigned row = 0; row < g.rows; ++row) {
            int64_t dy = top + row;
            if (dy < 0 || dy >= bitmap.height || dy < cellTop || dy >= cellBottom) continue;
            const unsigned char* src = g.pitch >= 0 ? g.buffer + size_t(row) * g.pitch
                                                    : g.buffer + size_t(g.rows - 1 - row) * size_t(-g.pitch);
            uint32_t* dst = &bitmap.pixels[size_t(dy) * bitmap.width];
            for (unsigned col = 0; col < g.width; ++col) {
                int64_t dx = left + col;
                if (dx < 0 || dx >= bitmap.width) continue;
                unsigned coverage;
                if (g.pixel_mode == FT_PIXEL_MODE_MONO) {
                    coverage = (src[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0;
                } else if (g.pixel_mode == FT_PIXEL_MODE_GRAY) {
                    coverage = g.num_grays > 1 ? src[col] * 255u / (g.num_grays - 1) : src[col];
                } else {
                    continue;
                }
                if (coverage) dst[dx] = Blend(dst[dx], color, coverage);
            }
        }
        penX += SlotAdvance(font.face);
    }
}

}  // namespace gdi

using namespace gdi;

int AddFontResourceW(LPCWSTR fileName)
{
    if (!fileName || !*fileName) return 0;
    std::lock_guard<std::mutex> lock(Lock());
    if (!Library()) return 0;
    // A regular file only (FreeType would wait forever on a FIFO), found the way
    // a Windows-made path names it.
    const std::string path = host::ResolveContentPath(Utf8FromWide(fileName));
    const int fd = host::OpenRegularFile(path, host::kMaxContentFileBytes);
    if (fd < 0) return 0;
    ::close(fd);
    FT_Face face = nullptr;
    if (FT_New_Face(Library(), path.c_str(), -1, &face) != 0) return 0;
    long faces = face->num_faces;
    FT_Done_Face(face);
    static int additions = 0;
    ++additions;
    int added = 0;
    for (long i = 0; i < faces; ++i) {
        if (FT_New_Face(Library(), path.c_str(), i, &face) != 0) continue;
        if (FT_IS_SCALABLE(face)) {
            RegisteredFace r;
            r.file = fileName;
            r.path = path;
            r.index = i;
            r.families = FamilyNames(face);
            r.weight = FaceWeight(face);
            r.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
            r.addition = additions;
            Registry().push_back(std::move(r));
            ++added;
        }
        FT_Done_Face(face);
    }
    return added;
}

BOOL RemoveFontResourceW(LPCWSTR fileName)
{
    if (!fileName) return FALSE;
    std::lock_guard<std::mutex> lock(Lock());
    auto& registry = Registry();
    // Undoes the most recent AddFontResourceW of that file: all its faces.
    auto last = std::find_if(registry.rbegin(), registry.rend(),
                             [&](const RegisteredFace& r) { return r.file == fileName; });
    if (last == registry.rend()) return FALSE;
    int addition = last->addition;
    std::erase_if(registry, [&](const RegisteredFace& r) { return r.addition == addition; });
    return TRUE;
}

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName)
{
    std::lock_guard<std::mutex> lock(Lock());
    Font* font = MakeFont(height, weight, italic != 0, quality, faceName);
    if (!font) return nullptr;
    Register(font);
    return reinterpret_cast<HFONT>(font);
}

BOOL TextOutW(HDC handle, int x, int y, LPCWSTR text, int count)
{
    std::lock_guard<std::mutex> lock(Lock());
    DC* dc = FindAs<DC>(handle, Kind::DC);
    if (!dc || !dc->font || count < 0 || (count > 0 && !text)) return FALSE;
    if (dc->bkMode == OPAQUE) {
        int width = 0;
        for (int i = 0; i < count; ++i) width += Advance(*dc->font, static_cast<uint32_t>(text[i]));
        uint32_t bk = (uint32_t(GetRValue(dc->bkColor)) << 16) | (uint32_t(GetGValue(dc->bkColor)) << 8) |
                      GetBValue(dc->bkColor);
        Bitmap& b = *dc->bitmap;
        int64_t bottom = int64_t(y) + dc->font->ascent + dc->font->descent;
        for (int64_t row = std::max<int64_t>(y, 0); row < std::min<int64_t>(bottom, b.height); ++row) {
            for (int64_t col = std::max<int64_t>(x, 0); col < std::min<int64_t>(int64_t(x) + width, b.width);
                 ++col) {
                b.pixels[size_t(row) * b.width + size_t(col)] = bk;
            }
        }
    }
    DrawText(*dc->bitmap, *dc->font, x, y, text, count, dc->textColor);
    return TRUE;
}

BOOL GetTextExtentPoint32W(HDC handle, LPCWSTR text, int count, SIZE* size)
{
    std::lock_guard<std::mutex> lock(Lock());
    DC* dc = FindAs<DC>(handle, Kind::DC);
    if (!dc || !dc->font || !size || count < 0 || (count > 0 && !text)) return FALSE;
    LONG width = 0;
    for (int i = 0; i < count; ++i) width += Advance(*dc->font, static_cast<uint32_t>(text[i]));
    size->cx = width;
    size->cy = dc->font->ascent + dc->font->descent;
    return TRUE;
}

BOOL GetTextMetricsW(HDC handle, TEXTMETRICW* tm)
{
    std::lock_guard<std::mutex> lock(Lock());
    DC* dc = FindAs<DC>(handle, Kind::DC);
    if (!dc || !dc->font || !tm) return FALSE;
    Font& f = *dc->font;
    *tm = TEXTMETRICW{};
    tm->tmAscent = f.ascent;
    tm->tmDescent = f.descent;
    tm->tmHeight = f.ascent + f.descent;
    tm->tmInternalLeading = std::max(0, tm->tmHeight - f.ppem);
    double scale = double(f.ppem) / f.face->units_per_EM;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f.face, FT_SFNT_OS2));
    tm->tmAveCharWidth = os2 && os2->version != 0xFFFF && os2->xAvgCharWidth > 0
                             ? LONG(std::lround(os2->xAvgCharWidth * scale))
                             : Advance(f, 'x');
    tm->tmMaxCharWidth = LONG(std::lround(f.face->max_advance_width * scale));
    tm->tmWeight = f.weight;
    tm->tmItalic = f.italic ? 1 : 0;
    tm->tmDigitizedAspectX = tm->tmDigitizedAspectY = 96;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFFFF;
    tm->tmDefaultChar = 0x1F;
    tm->tmBreakChar = 0x20;
    tm->tmCharSet = DEFAULT_CHARSET;
    return TRUE;
}

int DrawTextW(HDC handle, LPCWSTR text, int count, RECT* rect, UINT format)
{
    if (!text || !rect) return 0;
    if (count < 0) count = int(wcslen(text));
    // "&x" shows x; "&&" shows one '&'.
    std::wstring shown;
    for (int i = 0; i < count; ++i) {
        if (!(format & DT_NOPREFIX) && text[i] == L'&' && i + 1 < count) ++i;
        shown += text[i];
    }
    SIZE size{};
    if (!GetTextExtentPoint32W(handle, shown.c_str(), int(shown.size()), &size)) return 0;
    if (format & DT_CALCRECT) {
        rect->right = rect->left + size.cx;
        rect->bottom = rect->top + size.cy;
        return size.cy;
    }
    LONG x = rect->left, y = rect->top;
    if (format & DT_CENTER) x = rect->left + (rect->right - rect->left - size.cx) / 2;
    else if (format & DT_RIGHT) x = rect->right - size.cx;
    if (format & DT_VCENTER) y = rect->top + (rect->bottom - rect->top - size.cy) / 2;
    else if (format & DT_BOTTOM) y = rect->bottom - size.cy;
    TextOutW(handle, x, y, shown.c_str(), int(shown.size()));
    return size.cy;
}
