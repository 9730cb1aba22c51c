// The Win32 calls Mivola makes, with Win32's names, types and constant values,
// implemented over SDL2 and the C library. System code includes this header and
// never SDL itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

// ---- basic types -----------------------------------------------------------
typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int INT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef uint16_t ATOM;
typedef wchar_t WCHAR;
typedef char CHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef void* LPVOID;
typedef int32_t HRESULT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define DECLARE_MIVOLA_HANDLE(name)                                                                          \
    struct name##__;                                                                                         \
    typedef struct name##__* name
DECLARE_MIVOLA_HANDLE(HWND);
DECLARE_MIVOLA_HANDLE(HINSTANCE);
DECLARE_MIVOLA_HANDLE(HICON);
DECLARE_MIVOLA_HANDLE(HCURSOR);
DECLARE_MIVOLA_HANDLE(HBRUSH);
DECLARE_MIVOLA_HANDLE(HMENU);
DECLARE_MIVOLA_HANDLE(HDC);
DECLARE_MIVOLA_HANDLE(HFONT);
DECLARE_MIVOLA_HANDLE(HBITMAP);
DECLARE_MIVOLA_HANDLE(HGDIOBJ);
typedef HINSTANCE HMODULE;

struct RECT {
    LONG left, top, right, bottom;
};
struct POINT {
    LONG x, y;
};
struct SIZE {
    LONG cx, cy;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};

#define MAKEINTRESOURCEW(i) ((LPCWSTR)(uintptr_t)(WORD)(i))
#define IS_INTRESOURCE(p) ((((uintptr_t)(p)) >> 16) == 0)
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xffff))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)(((WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))

// ---- constants -------------------------------------------------------------
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_OWNDC 0x0020

#define WS_POPUP 0x80000000u
#define WS_VISIBLE 0x10000000u
#define WS_CLIPSIBLINGS 0x04000000u
#define WS_CLIPCHILDREN 0x02000000u
#define WS_CAPTION 0x00C00000u
#define WS_SYSMENU 0x00080000u
#define WS_MINIMIZEBOX 0x00020000u
#define WS_EX_APPWINDOW 0x00040000u
#define WS_EX_TOOLWINDOW 0x00000080u
#define WS_EX_TOPMOST 0x00000008u

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SW_HIDE 0
#define SW_SHOW 5

#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_APPCOMMAND 0x0319
#define SC_CLOSE 0xF060
#define SC_SCREENSAVE 0xF140
#define SC_MONITORPOWER 0xF170
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// WM_APPCOMMAND: the command sits in the high word of lParam below the device bits.
#define FAPPCOMMAND_KEY 0x0000
#define FAPPCOMMAND_MASK 0xF000
#define GET_APPCOMMAND_LPARAM(l) ((short)(HIWORD(l) & ~FAPPCOMMAND_MASK))
#define APPCOMMAND_MEDIA_NEXTTRACK 11
#define APPCOMMAND_MEDIA_PREVIOUSTRACK 12
#define APPCOMMAND_MEDIA_STOP 13
#define APPCOMMAND_MEDIA_PLAY_PAUSE 14
#define APPCOMMAND_MEDIA_PLAY 46
#define APPCOMMAND_MEDIA_PAUSE 47

#define VK_LBUTTON 0x01
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20

#define IDOK 1
#define IDCANCEL 2
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1

#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u

#define CP_UTF8 65001
#define _TRUNCATE ((size_t)-1)
#define STRUNCATE 80

// ---- time (Time.cpp) -------------------------------------------------------
// Milliseconds since an arbitrary start, wrapping at 2^32. Live runs read the
// monotonic clock; virtual runs read the host's virtual clock.
DWORD GetTickCount();
// Live runs sleep; virtual runs return at once (virtual time moves only by frames).
void Sleep(DWORD milliseconds);

// ---- process and module (Process.cpp) --------------------------------------
HMODULE GetModuleHandleW(LPCWSTR moduleName);
// Finishes the log and every capture output, then ends the process at once.
[[noreturn]] void ExitProcess(UINT exitCode);

// ---- message boxes (MessageBox.cpp) ----------------------------------------
// One log line with caption, text and icon, and the caption and text on
// standard error. Live runs then show the box (our own window once a program
// installs it, else SDL's) and wait for OK.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// ---- windows and messages (Window.cpp) -------------------------------------
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
ATOM RegisterClassW(const WNDCLASSW* windowClass);
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle);
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
int GetSystemMetrics(int index);
BOOL ShowWindow(HWND window, int command);
BOOL SetForegroundWindow(HWND window);
HWND SetFocus(HWND window);
HWND GetForegroundWindow();
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
BOOL DestroyWindow(HWND window);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PeekMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);

// ---- input (Input.cpp) -----------------------------------------------------
// Most significant bit set while the key is down (Escape, Space, Tab, Return, Shift).
SHORT GetAsyncKeyState(int virtualKey);
BOOL GetCursorPos(POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);

// ---- dialog (Dialog.cpp) ---------------------------------------------------
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
LRESULT SendDlgItemMessageW(HWND dialog, int controlId, UINT message, WPARAM wParam, LPARAM lParam);

// ---- shell (Shell.cpp) -----------------------------------------------------
// Opens a web address with xdg-open (no shell involved); does not wait.
HINSTANCE ShellExecuteW(HWND window, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        INT showCommand);

// The application id the desktop groups the program's windows under (its
// .desktop file, icon and taskbar entry): on Linux the X11 window class and
// the Wayland app id. Takes effect for windows made after it; S_OK.
HRESULT SetCurrentProcessExplicitAppUserModelID(LPCWSTR appId);

// ---- text (Text.cpp) -------------------------------------------------------
// UTF-8 <-> wide conversions; cchWideChar / cbMultiByte -1 means "terminated".
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int cchWideChar, LPSTR multiByte,
                        int cbMultiByte, LPCSTR defaultChar, BOOL* usedDefaultChar);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte, LPWSTR wide,
                        int cchWideChar);
LPWSTR CharLowerW(LPWSTR text);
// Copies at most capacity - 1 characters of source (count _TRUNCATE) and always
// terminates; returns 0, or STRUNCATE when the source was cut.
int wcsncpy_s(WCHAR* destination, size_t capacity, const WCHAR* source, size_t count);
// swprintf that always terminates; returns the characters written or -1 when cut.
int _snwprintf(WCHAR* buffer, size_t capacity, const WCHAR* format, ...);

#include "platform/win32/Log.h"
