#include "data/SongSettings.h"

#include "platform/bass/bass.h"
#include "platform/win32/Log.h"

#include <cmath>
#include <cstdio>
#include <cwchar>

namespace {

constexpr size_t kValueCapacity = 260;

// The attribute's text with surrounding white space removed; false when absent.
bool ReadValue(XmlNode element, const WCHAR* name, std::wstring& value)
{
    // XmlGetAttribute leaves the buffer alone when the attribute is absent.
    WCHAR buffer[kValueCapacity] = {L'\x1'};
    XmlGetAttribute(element, name, buffer, kValueCapacity);
    if (buffer[0] == L'\x1' && buffer[1] == 0) return false;
    value = buffer;
    const WCHAR* space = L" \t\r\n";
    size_t first = value.find_first_not_of(space);
    size_t last = value.find_last_not_of(space);
    value = first == std::wstring::npos ? L"" : value.substr(first, last - first + 1);
    return true;
}

// Optional sign, digits, and with `fraction` an optional point and digits.
// Nothing else: no exponent, no hexadecimal, no "inf" or "nan".
bool IsDecimal(const std::wstring& text, bool fraction)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) ++i;
    size_t digits = 0, points = 0;
    for (; i < text.size(); ++i) {
        if (text[i] >= L'0' && text[i] <= L'9') ++digits;
        else if (fraction && text[i] == L'.' && points == 0) ++points;
        else return false;
    }
    return digits > 0 && digits <= 12;
}

class Reader {
public:
    Reader(XmlNode element, SongSettingsError& error) : element_(element), error_(error) {}

    // A whole number that passes `allowed`; absent leaves `into` as it was.
    template <typename Allowed>
    bool Whole(const WCHAR* name, int32_t& into, Allowed allowed, const WCHAR* expected)
    {
        std::wstring text;
        if (!ReadValue(element_, name, text)) return true;
        long value = IsDecimal(text, false) ? std::wcstol(text.c_str(), nullptr, 10) : 0;
        if (!IsDecimal(text, false) || !allowed(value)) return Fail(name, text, expected);
        into = static_cast<int32_t>(value);
        return true;
    }

    bool Switch(const WCHAR* name, int32_t& into)
    {
        std::wstring text;
        if (!ReadValue(element_, name, text)) return true;
        if (text != L"on" && text != L"off") return Fail(name, text, L"\"on\" or \"off\"");
        into = text == L"on" ? 1 : 0;
        return true;
    }

    bool Decibels(const WCHAR* name, float& into)
    {
        std::wstring text;
        if (!ReadValue(element_, name, text)) return true;
        double value = IsDecimal(text, true) ? std::wcstod(text.c_str(), nullptr) : NAN;
        if (!(value >= kMinGainDb && value <= kMaxGainDb))
            return Fail(name, text, L"a number of decibels from -30 to 12");
        into = static_cast<float>(value);
        return true;
    }

private:
    bool Fail(const WCHAR* name, const std::wstring& text, const WCHAR* expected)
    {
        error_.line = XmlLine(element_);
        error_.attribute = name;
        error_.value = text;
        error_.expected = expected;
        return false;
    }

    XmlNode element_;
    SongSettingsError& error_;
};

}  // namespace

bool SongSettings::IsDefault() const
{
    return stereoSeparation < 0 && interpolation == 0 && volumeRamping < 0 && amiga < 0 && gainDb == 0.0f;
}

std::string SongSettings::Describe() const
{
    std::string text;
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (stereoSeparation >= 0) add("stereoseparation " + std::to_string(stereoSeparation));
    if (interpolation > 0) add("interpolation " + std::to_string(interpolation));
    if (volumeRamping >= 0) add("volumeramping " + std::to_string(volumeRamping));
    if (amiga >= 0) add(amiga ? "amiga on" : "amiga off");
    if (gainDb != 0.0f) {
        char gain[32];
        std::snprintf(gain, sizeof gain, "gain %+.2f dB", static_cast<double>(gainDb));
        add(gain);
    }
    return text.empty() ? "decoder defaults" : text;
}

bool ReadSongSettings(XmlNode element, SongSettings& settings, SongSettingsError& error)
{
    Reader r(element, error);
    return r.Whole(
               L"stereoseparation", settings.stereoSeparation, [](long v) { return v >= 0 && v <= 200; },
               L"a whole number from 0 to 200") &&
           r.Whole(
               L"interpolation", settings.interpolation,
               [](long v) { return v == 1 || v == 2 || v == 4 || v == 8; }, L"1, 2, 4 or 8") &&
           r.Whole(
               L"volumeramping", settings.volumeRamping, [](long v) { return v >= -1 && v <= 10; },
               L"a whole number from -1 to 10") &&
           r.Switch(L"amiga", settings.amiga) && r.Decibels(L"gain", settings.gainDb);
}

void ApplySongSettings(DWORD channel, bool module, const SongSettings& settings)
{
    if (module) {
        if (settings.stereoSeparation >= 0)
            BASS_ChannelSetAttribute(channel, BASS_ATTRIB_MUSIC_PANSEP,
                                     static_cast<float>(settings.stereoSeparation));
        if (settings.interpolation > 0)
            BASS_ChannelSetAttribute(channel, BASS_ATTRIB_MUSIC_INTERP,
                                     static_cast<float>(settings.interpolation));
        if (settings.volumeRamping >= 0)
            BASS_ChannelSetAttribute(channel, BASS_ATTRIB_MUSIC_RAMPING,
                                     static_cast<float>(settings.volumeRamping));
        if (settings.amiga >= 0 &&
            !BASS_ChannelSetAttribute(channel, BASS_ATTRIB_MUSIC_AMIGA, static_cast<float>(settings.amiga)) &&
            BASS_ErrorGetCode() == BASS_ERROR_NOTAVAIL) {
            static bool told = false;
            if (!told)
                LogPrintf("The module decoder has no Amiga resampler emulation: \"amiga\" is ignored\n");
            told = true;
        }
    }
    if (settings.gainDb != 0.0f) BASS_ChannelSetAttribute(channel, BASS_ATTRIB_GAIN, settings.gainDb);
}
