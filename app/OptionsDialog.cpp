#include "app/OptionsDialog.h"

#include "data/XmlAccess.h"
#include "platform/win32/Log.h"
#include "platform/win32/Resources.h"
#include "res/OptionsDialog.h"
#include "res/icon/MivolaIcon.h"

#include <cctype>
#include <cwchar>
#include <filesystem>

EngineSettings* dialogSettings = nullptr;

namespace {

bool StartsWith(const std::wstring& text, const WCHAR* prefix)
{
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

// "file://" and the absolute path, every byte outside the unreserved set and "/"
// percent-encoded.
std::wstring FileAddress(const std::filesystem::path& absolute)
{
    static const char hex[] = "0123456789ABCDEF";
    std::wstring out = L"file://";
    for (unsigned char c : absolute.string()) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += WCHAR(c);
        } else {
            out += L'%';
            out += WCHAR(hex[c >> 4]);
            out += WCHAR(hex[c & 15]);
        }
    }
    return out;
}

bool IsChecked(HWND dialog, int control)
{
    return SendDlgItemMessageW(dialog, control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

}  // namespace

INT_PTR OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        if (dialogSettings->windowed == 0)
            SendDlgItemMessageW(dialog, kIdFullscreen, BM_SETCHECK, BST_CHECKED, 0);
        if (dialogSettings->multisample != 0)
            SendDlgItemMessageW(dialog, kIdMultisample, BM_SETCHECK, BST_CHECKED, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kIdRun:
            dialogSettings->windowed = IsChecked(dialog, kIdFullscreen) ? 0 : 1;
            dialogSettings->multisample = IsChecked(dialog, kIdMultisample) ? 1 : 0;
            dialogSettings->lowVideoRam = IsChecked(dialog, kIdLowVideoRam) ? 1 : 0;
            EndDialog(dialog, 1);
            break;
        case kIdQuit:
            EndDialog(dialog, 0);
            break;
        case kIdWebSite: {
            const std::wstring address = WebSiteAddress();
            if (!address.empty()) ShellExecuteW(dialog, nullptr, address.c_str(), nullptr, nullptr, SW_SHOW);
            else LogPrintf("The disk names no web site and has no README\n");
            break;
        }
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

std::wstring WebSiteAddress()
{
    IXMLDOMDocument* document = nullptr;
    WCHAR url[260] = {};
    std::error_code error;
    if (std::filesystem::is_regular_file("art.xml", error) && XmlLoadDocument(document, L"art.xml")) {
        XmlNode bits = nullptr;
        XmlFirstChild(XmlDocumentNode(document), bits, L"bits");
        XmlGetAttribute(bits, L"url", url, 260);
        XmlRelease(document);
    }
    // Only web addresses come from the disk: anything else could name a program.
    const std::wstring address = url;
    if (StartsWith(address, L"https://") || StartsWith(address, L"http://")) return address;
    const std::filesystem::path readme = std::filesystem::absolute("README", error);
    if (error || !std::filesystem::is_regular_file(readme, error)) return {};
    return FileAddress(readme.lexically_normal());
}

void RegisterProgramResources()
{
    win32::ProgramResources resources;
    resources.findDialog = res::FindDialogTemplate;
    resources.loadBitmap = res::LoadBitmapResource;
    resources.renderIcon = mivola_icon::RenderIcon;
    win32::SetProgramResources(resources);
}
