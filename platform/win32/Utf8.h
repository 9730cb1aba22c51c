// UTF-8 conversions for the stand-ins that hand wide strings (UTF-32 here) to
// Linux libraries. Invalid code points become U+FFFD.
#pragma once

#include "platform/win32/win32.h"

#include <string>

// A null pointer gives an empty string.
std::string Utf8FromWide(const WCHAR* text);
