// The one door between the program and its host. Every call the program
// makes to the operating system, the ASPI layer, the registry, the timer, the
// user interface or the console goes through a Platform; the program never
// calls an OS function itself. The Windows program installs the Win32
// backend, the simulated PC installs its own, and nothing else changes.
//
// The operations keep the names and the meaning of the Win32 functions they
// stand for, so that the program reads like the Windows program it is.
#pragma once

#include <string_view>

#include "transport/platform/win_types.h"

namespace kambio {

class Platform {
public:
    virtual ~Platform() = default;

    // OS version and language.
    virtual BOOL GetVersionExA(OSVERSIONINFOA* info) = 0;
    virtual UINT GetOEMCP() = 0;

    // Memory: fixed, zero-filled global blocks.
    virtual HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) = 0;
    virtual void* GlobalLock(HGLOBAL block) = 0;
    virtual BOOL GlobalUnlock(HGLOBAL block) = 0;
    virtual HGLOBAL GlobalFree(HGLOBAL block) = 0;

    // The ASPI for Win32 layer. The two entry points may only be called after
    // LoadLibraryA has found WNASPI32.DLL.
    virtual HMODULE LoadLibraryA(const char* name) = 0;
    virtual DWORD GetASPI32SupportInfo() = 0;
    virtual DWORD SendASPI32Command(void* srb) = 0;

    // Events, waits and sleep.
    virtual HANDLE CreateEventA(void* attributes, BOOL manualReset, BOOL initialState,
                                const char* name) = 0;
    virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    virtual void Sleep(DWORD milliseconds) = 0;

    // Devices and files.
    virtual HANDLE CreateFileA(const char* path, DWORD access, DWORD share, DWORD disposition,
                               DWORD flags) = 0;
    virtual BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                 DWORD outSize, DWORD* returned) = 0;
    virtual DWORD GetFileSize(HANDLE file) = 0;
    virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* read) = 0;
    virtual DWORD GetLastError() = 0;

    // Registry (read only, except for the access rights asked).
    virtual LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                               HKEY* result) = 0;
    virtual LONG RegQueryInfoKeyA(HKEY key, DWORD* subKeys) = 0;
    virtual LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize) = 0;
    virtual LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                  DWORD* dataSize) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;

    // Multimedia timer.
    virtual MMRESULT timeBeginPeriod(UINT period) = 0;
    virtual MMRESULT timeEndPeriod(UINT period) = 0;
    virtual DWORD timeGetTime() = 0;

    // User interface.
    virtual int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) = 0;

    // Standard output, through the C runtime (text mode on Windows). Every
    // call is flushed before it returns, so a box never overtakes a line.
    virtual void WriteStdout(std::string_view text) = 0;
};

// The platform the program talks to. Chosen once at start by the executable
// (or by a test) before the program's entry point runs.
Platform& Host();
void SetHost(Platform* platform);

}  // namespace kambio
