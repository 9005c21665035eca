// Declarations of the Linux stand-in for the few Win32 calls the plugin makes: the same names,
// types and constants as the Windows headers, implemented in standin/win32. Only platform.h
// includes this file, and only when not building for Windows.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef const char* LPCSTR;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef int BOOL;
typedef uint8_t BYTE;
typedef short SHORT;
typedef void* HANDLE;
typedef void* HMODULE;
typedef void* LPVOID;
typedef struct StandinWindow* HWND;
typedef struct StandinRegistryKey* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;
typedef LONG LSTATUS;

#define WINAPI
#define TRUE 1
#define FALSE 0

// Registry
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_MORE_DATA 234L
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_QWORD 11u
#define REG_OPTION_NON_VOLATILE 0u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u

// Standard handles and files
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define OPEN_ALWAYS 4u

// Keyboard
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12

// Sounds and message boxes
#define SND_ASYNC 0x0001u
#define SND_ALIAS_ID 0x00110000u
#define MB_SETFOREGROUND 0x00010000u

// Code pages
#define CP_ACP 0u
#define MB_PRECOMPOSED 0x1u

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

extern "C" {
LSTATUS RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegCreateKeyExW(HKEY root, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                        LPDWORD disposition);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, BYTE* data,
                         LPDWORD size);
LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size);
LSTATUS RegCloseKey(HKEY key);

HANDLE GetStdHandle(DWORD which);
BOOL SetStdHandle(DWORD which, HANDLE handle);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);

SHORT GetAsyncKeyState(int virtualKey);
BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags);
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
HWND GetForegroundWindow(void);
int wsprintfW(LPWSTR out, LPCWSTR format, ...);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int textBytes, LPWSTR out,
                        int outUnits);

// Character classes beyond ASCII, which Windows answers from its C runtime; the stand-in
// follows Unicode.
int StandinIsSpace(WCHAR ch);
int StandinIsAlpha(WCHAR ch);
int StandinIsAlnum(WCHAR ch);
}
