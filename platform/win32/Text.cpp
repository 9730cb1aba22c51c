// Text helpers: UTF-8 <-> wide conversions (wide characters are UTF-32 here),
// lower-casing, truncating copies and a formatter that always terminates.
#include "platform/win32/win32.h"
#include "platform/win32/Utf8.h"

#include <cerrno>
#include <clocale>
#include <cstdarg>
#include <cstring>
#include <cwctype>
#include <locale.h>
#include <vector>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsScalarValue(char32_t c)
{
    return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF);
}

// Appends the UTF-8 form of c (a replacement character for non-scalar values).
int EncodeUtf8(char32_t c, char out[4])
{
    if (!IsScalarValue(c)) c = kReplacement;
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Decodes one character from [p, end); malformed input gives one replacement
// character per offending byte so decoding always makes progress.
char32_t DecodeUtf8(const unsigned char*& p, const unsigned char* end)
{
    unsigned char lead = *p++;
    if (lead < 0x80) return lead;
    int extra;
    char32_t c;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        c = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        c = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        c = lead & 0x07;
        minimum = 0x10000;
    } else {
        return kReplacement;
    }
    const unsigned char* q = p;
    for (int i = 0; i < extra; ++i) {
        if (q == end || (*q & 0xC0) != 0x80) return kReplacement;
        c = (c << 6) | (*q++ & 0x3F);
    }
    if (c < minimum || !IsScalarValue(c)) return kReplacement;
    p = q;
    return c;
}

locale_t Utf8Locale()
{
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

WCHAR Lower(WCHAR c)
{
    if (c >= L'A' && c <= L'Z') return static_cast<WCHAR>(c + 32);
    if (c < 0x80) return c;
    if (locale_t locale = Utf8Locale()) return static_cast<WCHAR>(towlower_l(static_cast<wint_t>(c), locale));
    // Latin-1 capitals when no Unicode locale is installed.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<WCHAR>(c + 32);
    return c;
}

}  // namespace

int WideCharToMultiByte(UINT, DWORD, LPCWSTR wide, int cchWideChar, LPSTR multiByte, int cbMultiByte, LPCSTR,
                        BOOL* usedDefaultChar)
{
    if (usedDefaultChar) *usedDefaultChar = FALSE;
    if (!wide || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0) return 0;
    size_t count = cchWideChar == -1 ? std::wcslen(wide) + 1 : static_cast<size_t>(cchWideChar);
    size_t needed = 0;
    char bytes[4];
    for (size_t i = 0; i < count; ++i) needed += EncodeUtf8(static_cast<char32_t>(wide[i]), bytes);
    if (needed > 0x7FFFFFFF) return 0;
    if (cbMultiByte == 0) return static_cast<int>(needed);
    if (!multiByte || needed > static_cast<size_t>(cbMultiByte)) return 0;
    size_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        int n = EncodeUtf8(static_cast<char32_t>(wide[i]), bytes);
        for (int k = 0; k < n; ++k) multiByte[at++] = bytes[k];
    }
    return static_cast<int>(at);
}

int MultiByteToWideChar(UINT, DWORD, LPCSTR multiByte, int cbMultiByte, LPWSTR wide, int cchWideChar)
{
    if (!multiByte || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0) return 0;
    size_t count = cbMultiByte == -1 ? std::strlen(multiByte) + 1 : static_cast<size_t>(cbMultiByte);
    const unsigned char* begin = reinterpret_cast<const unsigned char*>(multiByte);
    const unsigned char* end = begin + count;
    size_t needed = 0;
    for (const unsigned char* p = begin; p < end; ++needed) DecodeUtf8(p, end);
    if (needed > 0x7FFFFFFF) return 0;
    if (cchWideChar == 0) return static_cast<int>(needed);
    if (!wide || needed > static_cast<size_t>(cchWideChar)) return 0;
    size_t at = 0;
    for (const unsigned char* p = begin; p < end;) wide[at++] = static_cast<WCHAR>(DecodeUtf8(p, end));
    return static_cast<int>(at);
}

LPWSTR CharLowerW(LPWSTR text)
{
    if (!text) return text;
    // A single character may be passed in the low word instead of a pointer.
    if (IS_INTRESOURCE(text)) {
        WCHAR c = Lower(static_cast<WCHAR>(reinterpret_cast<uintptr_t>(text)));
        return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(c));
    }
    for (WCHAR* p = text; *p; ++p) *p = Lower(*p);
    return text;
}

int wcsncpy_s(WCHAR* destination, size_t capacity, const WCHAR* source, size_t count)
{
    if (!destination || capacity == 0) return EINVAL;
    if (!source) {
        destination[0] = 0;
        return EINVAL;
    }
    size_t length = 0;
    while (length < count && source[length]) ++length;
    int result = 0;
    if (length >= capacity) {
        length = capacity - 1;
        result = STRUNCATE;
    }
    for (size_t i = 0; i < length; ++i) destination[i] = source[i];
    destination[length] = 0;
    return result;
}

int _snwprintf(WCHAR* buffer, size_t capacity, const WCHAR* format, ...)
{
    if (!buffer || capacity == 0 || !format) return -1;
    va_list args;
    va_start(args, format);
    // vswprintf gives no length on overflow, so format into a growing buffer
    // and cut the result to fit.
    std::vector<WCHAR> text(capacity < 256 ? 256 : capacity + 1);
    int length = -1;
    for (;;) {
        va_list attempt;
        va_copy(attempt, args);
        length = std::vswprintf(text.data(), text.size(), format, attempt);
        va_end(attempt);
        if (length >= 0 || text.size() >= (1u << 20)) break;
        text.resize(text.size() * 4);
    }
    va_end(args);
    if (length < 0) {
        buffer[0] = 0;
        return -1;
    }
    return wcsncpy_s(buffer, capacity, text.data(), _TRUNCATE) == 0 ? length : -1;
}

std::string Utf8FromWide(const WCHAR* text)
{
    std::string out;
    for (; text && *text; ++text) {
        char bytes[4];
        out.append(bytes, static_cast<size_t>(EncodeUtf8(static_cast<char32_t>(*text), bytes)));
    }
    return out;
}
