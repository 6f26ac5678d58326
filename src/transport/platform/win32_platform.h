// The real host: every Platform operation is the Win32 call of the same name.
// Only the Windows executable builds this; it keeps <windows.h> out of
// everything that includes it.
#pragma once

#include <string_view>

#include "transport/platform/platform.h"

namespace kambio {

class Win32Platform final : public Platform {
public:
    Win32Platform() = default;

    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    BOOL GetVersionExA(OSVERSIONINFOA* info) override;
    UINT GetOEMCP() override;

    HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) override;
    void* GlobalLock(HGLOBAL block) override;
    BOOL GlobalUnlock(HGLOBAL block) override;
    HGLOBAL GlobalFree(HGLOBAL block) override;

    HMODULE LoadLibraryA(const char* name) override;
    DWORD GetASPI32SupportInfo() override;
    DWORD SendASPI32Command(void* srb) override;

    HANDLE CreateEventA(void* attributes, BOOL manualReset, BOOL initialState,
                        const char* name) override;
    DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
    BOOL CloseHandle(HANDLE handle) override;
    void Sleep(DWORD milliseconds) override;

    HANDLE CreateFileA(const char* path, DWORD access, DWORD share, DWORD disposition,
                       DWORD flags) override;
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned) override;
    DWORD GetFileSize(HANDLE file) override;
    BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* read) override;
    DWORD GetLastError() override;

    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                       HKEY* result) override;
    LONG RegQueryInfoKeyA(HKEY key, DWORD* subKeys) override;
    LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize) override;
    LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                          DWORD* dataSize) override;
    LONG RegCloseKey(HKEY key) override;

    MMRESULT timeBeginPeriod(UINT period) override;
    MMRESULT timeEndPeriod(UINT period) override;
    DWORD timeGetTime() override;

    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;

    void WriteStdout(std::string_view text) override;

private:
    // The two ASPI entry points, bound by ordinal when LoadLibraryA loads
    // WNASPI32.DLL. The layer exports them with the C calling convention.
    using SupportInfoEntry = DWORD(__cdecl*)();
    using SendCommandEntry = DWORD(__cdecl*)(void*);

    SupportInfoEntry getSupportInfo_ = nullptr;
    SendCommandEntry sendCommand_ = nullptr;
};

}  // namespace kambio
