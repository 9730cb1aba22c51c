// The GDI calls Mivola makes (font files, fonts, memory device contexts,
// 32-bit bitmaps, text drawing and measuring), with GDI's names, types and
// constant values, implemented over FreeType and fontconfig.
//
// Model: every bitmap is 32 bits per pixel (B, G, R, 0 in memory, rows top
// first), as a bitmap compatible with a true-colour screen is. A device context
// that this layer did not create (GetDC's result for the screen or a window, or
// null) is taken as "the screen" where a reference DC is asked for
// (CreateCompatibleDC, CreateCompatibleBitmap); drawing calls need a memory DC
// made here. Stale or foreign handles are refused, never dereferenced.
// Text: codes 0 to 255 are the Latin-1 code points (Unicode's first 256),
// grayscale antialiased, no kerning, integer advances.
#pragma once

#include "platform/win32/win32.h"

typedef DWORD COLORREF;
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)(((WORD)(c)) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define CLR_INVALID 0xFFFFFFFFu
#define GDI_ERROR 0xFFFFFFFFu
#define HGDI_ERROR ((HGDIOBJ)(intptr_t)-1)

// Stock objects
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define SYSTEM_FONT 13
#define DEFAULT_GUI_FONT 17

// Background modes
#define TRANSPARENT 1
#define OPAQUE 2

// CreateFontW arguments
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_HEAVY 900
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define DEFAULT_PITCH 0
#define FF_DONTCARE 0

// Bitmaps
#define BI_RGB 0
#define DIB_RGB_COLORS 0

// DrawTextW formats
#define DT_TOP 0x00000000u
#define DT_LEFT 0x00000000u
#define DT_CENTER 0x00000001u
#define DT_RIGHT 0x00000002u
#define DT_VCENTER 0x00000004u
#define DT_BOTTOM 0x00000008u
#define DT_SINGLELINE 0x00000020u
#define DT_CALCRECT 0x00000400u
#define DT_NOPREFIX 0x00000800u

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // positive: bottom-up rows; negative: top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct TEXTMETRICW {
    LONG tmHeight;  // cell height: ascent + descent
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;  // cell height - em height
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar, tmLastChar, tmDefaultChar, tmBreakChar;
    BYTE tmItalic, tmUnderlined, tmStruckOut, tmPitchAndFamily, tmCharSet;
};

// ---- font files --------------------------------------------------------------
// Registers every face of the font file for this process; returns the number of
// faces added (0 when the file cannot be read as a font).
int AddFontResourceW(LPCWSTR fileName);
BOOL RemoveFontResourceW(LPCWSTR fileName);

// ---- objects -------------------------------------------------------------------
// height > 0: cell height (ascent + descent) in pixels; < 0: em height; 0: a
// default size. The face is a face registered with AddFontResourceW under that
// family name (case-insensitive, closest weight and slant), else fontconfig's
// best match for the name, as GDI substitutes without a word. width, escapement,
// orientation, underline, strikeOut, charSet and the precisions are accepted and
// ignored. NONANTIALIASED_QUALITY draws without antialiasing.
HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName);
HBRUSH CreateSolidBrush(COLORREF color);
HGDIOBJ GetStockObject(int index);
// Stock objects are never freed (TRUE, nothing happens). An object still
// selected into a DC is refused (FALSE) and stays valid.
BOOL DeleteObject(HGDIOBJ object);

// GDI's handle types all convert to HGDIOBJ; these keep call sites as written
// for GDI (SelectObject(dc, font), DeleteObject(bitmap)).
inline HGDIOBJ ToGdiObject(HFONT h)
{
    return reinterpret_cast<HGDIOBJ>(h);
}
inline HGDIOBJ ToGdiObject(HBITMAP h)
{
    return reinterpret_cast<HGDIOBJ>(h);
}
inline HGDIOBJ ToGdiObject(HBRUSH h)
{
    return reinterpret_cast<HGDIOBJ>(h);
}
inline BOOL DeleteObject(HFONT h)
{
    return DeleteObject(ToGdiObject(h));
}
inline BOOL DeleteObject(HBITMAP h)
{
    return DeleteObject(ToGdiObject(h));
}
inline BOOL DeleteObject(HBRUSH h)
{
    return DeleteObject(ToGdiObject(h));
}

// ---- device contexts -----------------------------------------------------------
// A memory DC with a 1x1 black bitmap, the system font, white background (opaque
// mode) and black text selected.
HDC CreateCompatibleDC(HDC reference);
// A black 32-bit bitmap; null for a size of 0 or less or beyond 16384.
HBITMAP CreateCompatibleBitmap(HDC reference, int width, int height);
BOOL DeleteDC(HDC dc);
// Bitmaps, fonts and brushes; returns the previously selected object of that kind.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
inline HGDIOBJ SelectObject(HDC dc, HFONT h)
{
    return SelectObject(dc, ToGdiObject(h));
}
inline HGDIOBJ SelectObject(HDC dc, HBITMAP h)
{
    return SelectObject(dc, ToGdiObject(h));
}
inline HGDIOBJ SelectObject(HDC dc, HBRUSH h)
{
    return SelectObject(dc, ToGdiObject(h));
}

// ---- drawing ---------------------------------------------------------------------
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
int SetBkMode(HDC dc, int mode);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF SetTextColor(HDC dc, COLORREF color);
// Draws count characters with the cell's top-left corner at (x, y): the text
// colour is blended over the bitmap by glyph coverage; in OPAQUE mode the cells
// are filled with the background colour first. Clipped to the bitmap.
BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int count);
// cx: the sum of the characters' advances; cy: the cell height.
BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, SIZE* size);
BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics);
// One line of text (count -1: terminated) placed in rect by DT_LEFT/CENTER/RIGHT
// and DT_TOP/VCENTER/BOTTOM; "&x" draws x (and "&&" one '&') unless
// DT_NOPREFIX. DT_CALCRECT measures only and sets rect's right and bottom.
// Returns the text height. Lines are not broken.
int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format);

// ---- reading back ------------------------------------------------------------------
// Copies lines [start, start + lines) of the bitmap as 32-bit BI_RGB rows
// (B, G, R, 0), bottom-up when biHeight is positive (line 0 = the bottom row),
// top-down when negative, biWidth pixels a row. With bits null only fills the
// header from the bitmap. Returns the lines copied, 0 on failure (other depths
// or compressions, bad handles).
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT usage);
