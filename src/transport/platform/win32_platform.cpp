#include "transport/platform/win32_platform.h"

#include <cstddef>
#include <cstdio>

// win_types.h gives the program the Win32 names without <windows.h>; here both
// meet. <windows.h> turns most of those names into macros, so the values we
// declared are taken under other names first, and compared with the system's
// own once its headers are in (the checks at the end of this file).
namespace kambio::declared {

#define KAMBIO_CHECKED_CONSTANTS(X) \
    X(ERROR_SUCCESS)                \
    X(ERROR_FILE_NOT_FOUND)         \
    X(ERROR_ACCESS_DENIED)          \
    X(ERROR_INVALID_HANDLE)         \
    X(ERROR_NOT_ENOUGH_MEMORY)      \
    X(ERROR_GEN_FAILURE)            \
    X(ERROR_NOT_SUPPORTED)          \
    X(ERROR_INVALID_PARAMETER)      \
    X(ERROR_MORE_DATA)              \
    X(ERROR_NO_MORE_ITEMS)          \
    X(ERROR_IO_DEVICE)              \
    X(WAIT_OBJECT_0)                \
    X(WAIT_TIMEOUT)                 \
    X(WAIT_FAILED)                  \
    X(INFINITE)                     \
    X(TIMERR_NOERROR)               \
    X(TIMERR_NOCANDO)               \
    X(GMEM_ZEROINIT)                \
    X(GENERIC_READ)                 \
    X(GENERIC_WRITE)                \
    X(FILE_SHARE_READ)              \
    X(FILE_SHARE_WRITE)             \
    X(OPEN_EXISTING)                \
    X(INVALID_FILE_SIZE)            \
    X(KEY_READ)                     \
    X(KEY_ALL_ACCESS)               \
    X(REG_SZ)                       \
    X(REG_BINARY)                   \
    X(REG_DWORD)                    \
    X(MB_OK)                        \
    X(MB_OKCANCEL)                  \
    X(MB_YESNO)                     \
    X(MB_ICONERROR)                 \
    X(MB_ICONQUESTION)              \
    X(MB_ICONWARNING)               \
    X(MB_ICONINFORMATION)           \
    X(IDOK)                         \
    X(IDCANCEL)                     \
    X(IDYES)                        \
    X(IDNO)                         \
    X(VER_PLATFORM_WIN32s)          \
    X(VER_PLATFORM_WIN32_WINDOWS)   \
    X(VER_PLATFORM_WIN32_NT)        \
    X(IOCTL_SCSI_PASS_THROUGH)      \
    X(IOCTL_SCSI_PASS_THROUGH_DIRECT) \
    X(IOCTL_SCSI_GET_CAPABILITIES)  \
    X(IOCTL_SCSI_GET_ADDRESS)       \
    X(IOCTL_STORAGE_MCN_CONTROL)    \
    X(SCSI_IOCTL_DATA_OUT)          \
    X(SCSI_IOCTL_DATA_IN)           \
    X(SCSI_IOCTL_DATA_UNSPECIFIED)

#define KAMBIO_TAKE_DECLARED(name) inline constexpr auto name##_ = ::kambio::name;
KAMBIO_CHECKED_CONSTANTS(KAMBIO_TAKE_DECLARED)
#undef KAMBIO_TAKE_DECLARED

}  // namespace kambio::declared

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>
#include <winioctl.h>
#include <ntddscsi.h>

namespace kambio {

namespace {

bool SameNameIgnoringCase(const char* a, const char* b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (lower(*a) != lower(*b)) return false;
    }
    return *a == *b;
}

// What GetASPI32SupportInfo answers when no ASPI layer is bound: status
// SS_NO_ADAPTERS in the second byte and no host adapter in the first, which
// is what a loaded layer says on a PC without a SCSI or ATAPI adapter. The
// program then finds nothing through ASPI instead of calling through a null
// pointer.
constexpr DWORD kNoLayerSupportInfo = DWORD{SS_NO_ADAPTERS} << 8;

// The status SendASPI32Command answers, and leaves in the request block, when
// no ASPI layer is bound. SRB_Status sits at the same place in every request
// block, and setting it keeps a caller that waits for the block to leave
// SS_PENDING from waiting forever.
constexpr BYTE kNoLayerCommandStatus = SS_NO_ADAPTERS;
constexpr std::size_t kSrbStatusOffset = offsetof(SRB_ExecSCSICmd, SRB_Status);
static_assert(offsetof(SRB_HAInquiry, SRB_Status) == kSrbStatusOffset);
static_assert(offsetof(SRB_Abort, SRB_Status) == kSrbStatusOffset);

template <typename Entry>
Entry BindOrdinal(::HMODULE module, WORD ordinal) {
    ::FARPROC proc = ::GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    // Through the generic function pointer type: the entry's real type is
    // known only from the layer's documentation, not from its export.
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace

BOOL Win32Platform::GetVersionExA(OSVERSIONINFOA* info) {
    // Our record is the system's (checked below), and the size the caller
    // put in it decides, as it does for any caller of the real function.
    return ::GetVersionExA(reinterpret_cast<::OSVERSIONINFOA*>(info));
}

UINT Win32Platform::GetOEMCP() { return ::GetOEMCP(); }

HGLOBAL Win32Platform::GlobalAlloc(UINT flags, SIZE_T bytes) {
    return ::GlobalAlloc(flags, bytes);
}

void* Win32Platform::GlobalLock(HGLOBAL block) { return ::GlobalLock(block); }

BOOL Win32Platform::GlobalUnlock(HGLOBAL block) { return ::GlobalUnlock(block); }

HGLOBAL Win32Platform::GlobalFree(HGLOBAL block) { return ::GlobalFree(block); }

HMODULE Win32Platform::LoadLibraryA(const char* name) {
    ::HMODULE module = ::LoadLibraryA(name);
    if (module != nullptr && name != nullptr && SameNameIgnoringCase(name, "WNASPI32.DLL")) {
        // Bound by ordinal, 1 and 2, not by name: the ordinals are the
        // layer's fixed interface.
        getSupportInfo_ = BindOrdinal<SupportInfoEntry>(module, 1);
        sendCommand_ = BindOrdinal<SendCommandEntry>(module, 2);
    }
    return module;
}

DWORD Win32Platform::GetASPI32SupportInfo() {
    if (getSupportInfo_ == nullptr) return kNoLayerSupportInfo;
    return getSupportInfo_();
}

DWORD Win32Platform::SendASPI32Command(void* srb) {
    if (sendCommand_ == nullptr) {
        if (srb != nullptr) static_cast<BYTE*>(srb)[kSrbStatusOffset] = kNoLayerCommandStatus;
        return kNoLayerCommandStatus;
    }
    return sendCommand_(srb);
}

HANDLE Win32Platform::CreateEventA(void* attributes, BOOL manualReset, BOOL initialState,
                                   const char* name) {
    return ::CreateEventA(static_cast<::LPSECURITY_ATTRIBUTES>(attributes), manualReset,
                          initialState, name);
}

DWORD Win32Platform::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return ::WaitForSingleObject(handle, milliseconds);
}

BOOL Win32Platform::CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

void Win32Platform::Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

HANDLE Win32Platform::CreateFileA(const char* path, DWORD access, DWORD share, DWORD disposition,
                                  DWORD flags) {
    return ::CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
}

BOOL Win32Platform::DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                    DWORD outSize, DWORD* returned) {
    // Windows 95 and 98 insist on a count to write to, so one is always
    // given.
    ::DWORD count = 0;
    ::BOOL ok = ::DeviceIoControl(device, code, in, inSize, out, outSize, &count, nullptr);
    if (returned != nullptr) *returned = count;
    return ok;
}

DWORD Win32Platform::GetFileSize(HANDLE file) { return ::GetFileSize(file, nullptr); }

BOOL Win32Platform::ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* read) {
    // A read without overlapped I/O must be given a count to write to.
    ::DWORD count = 0;
    ::BOOL ok = ::ReadFile(file, buffer, bytes, &count, nullptr);
    if (read != nullptr) *read = count;
    return ok;
}

DWORD Win32Platform::GetLastError() { return ::GetLastError(); }

LONG Win32Platform::RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                                  HKEY* result) {
    // The predefined roots are the same numbers on both sides, so the key
    // passes through as it is.
    ::HKEY opened = nullptr;
    ::LONG status = ::RegOpenKeyExA(reinterpret_cast<::HKEY>(root), subKey, options, access,
                                    result != nullptr ? &opened : nullptr);
    if (result != nullptr) *result = opened;
    return status;
}

LONG Win32Platform::RegQueryInfoKeyA(HKEY key, DWORD* subKeys) {
    ::DWORD count = 0;
    ::LONG status = ::RegQueryInfoKeyA(reinterpret_cast<::HKEY>(key), nullptr, nullptr, nullptr,
                                       &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr);
    if (subKeys != nullptr && status == ERROR_SUCCESS) *subKeys = count;
    return status;
}

LONG Win32Platform::RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize) {
    ::DWORD size = nameSize != nullptr ? *nameSize : 0;
    ::LONG status = ::RegEnumKeyExA(reinterpret_cast<::HKEY>(key), index, name,
                                    nameSize != nullptr ? &size : nullptr, nullptr, nullptr,
                                    nullptr, nullptr);
    if (nameSize != nullptr) *nameSize = size;
    return status;
}

LONG Win32Platform::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                     DWORD* dataSize) {
    ::DWORD kind = 0;
    ::DWORD size = dataSize != nullptr ? *dataSize : 0;
    ::LONG status = ::RegQueryValueExA(reinterpret_cast<::HKEY>(key), valueName, nullptr,
                                       type != nullptr ? &kind : nullptr, data,
                                       dataSize != nullptr ? &size : nullptr);
    if (type != nullptr) *type = kind;
    if (dataSize != nullptr) *dataSize = size;
    return status;
}

LONG Win32Platform::RegCloseKey(HKEY key) { return ::RegCloseKey(reinterpret_cast<::HKEY>(key)); }

MMRESULT Win32Platform::timeBeginPeriod(UINT period) { return ::timeBeginPeriod(period); }

MMRESULT Win32Platform::timeEndPeriod(UINT period) { return ::timeEndPeriod(period); }

DWORD Win32Platform::timeGetTime() { return ::timeGetTime(); }

int Win32Platform::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    return ::MessageBoxA(reinterpret_cast<::HWND>(owner), text, caption, type);
}

void Win32Platform::WriteStdout(std::string_view text) {
    // stdout stays in text mode: a line ends in CR LF on the console, as
    // every other console program's does.
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace kambio

// The declarations the rest of the program uses without <windows.h> must be
// the system's: the backend hands them to Win32 as they are. The checks stand
// outside our namespace so that a name the system headers lack fails to
// compile instead of being compared with itself.

#define KAMBIO_COMPARE_DECLARED(name)                                                   \
    static_assert(static_cast<unsigned long>(kambio::declared::name##_) ==                    \
                      static_cast<unsigned long>(name),                               \
                  "win_types.h disagrees with the system headers on " #name);
KAMBIO_CHECKED_CONSTANTS(KAMBIO_COMPARE_DECLARED)
#undef KAMBIO_COMPARE_DECLARED
#undef KAMBIO_CHECKED_CONSTANTS

#define KAMBIO_SAME_FIELD(type, field)                                          \
    static_assert(offsetof(kambio::type, field) == offsetof(::type, field) &&    \
                      sizeof(kambio::type::field) == sizeof(::type::field),      \
                  #type "::" #field " is not where the system has it");

static_assert(sizeof(kambio::OSVERSIONINFOA) == sizeof(::OSVERSIONINFOA));
KAMBIO_SAME_FIELD(OSVERSIONINFOA, dwOSVersionInfoSize)
KAMBIO_SAME_FIELD(OSVERSIONINFOA, dwMajorVersion)
KAMBIO_SAME_FIELD(OSVERSIONINFOA, dwMinorVersion)
KAMBIO_SAME_FIELD(OSVERSIONINFOA, dwBuildNumber)
KAMBIO_SAME_FIELD(OSVERSIONINFOA, dwPlatformId)
KAMBIO_SAME_FIELD(OSVERSIONINFOA, szCSDVersion)

static_assert(sizeof(kambio::SCSI_PASS_THROUGH) == sizeof(::SCSI_PASS_THROUGH));
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, Length)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, ScsiStatus)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, PathId)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, TargetId)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, Lun)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, CdbLength)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, SenseInfoLength)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, DataIn)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, DataTransferLength)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, TimeOutValue)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, DataBufferOffset)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, SenseInfoOffset)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH, Cdb)

static_assert(sizeof(kambio::SCSI_PASS_THROUGH_DIRECT) == sizeof(::SCSI_PASS_THROUGH_DIRECT));
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, Length)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, ScsiStatus)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, PathId)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, TargetId)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, Lun)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, CdbLength)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, SenseInfoLength)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, DataIn)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, DataTransferLength)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, TimeOutValue)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, DataBuffer)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset)
KAMBIO_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, Cdb)

static_assert(sizeof(kambio::SCSI_ADDRESS) == sizeof(::SCSI_ADDRESS));
KAMBIO_SAME_FIELD(SCSI_ADDRESS, Length)
KAMBIO_SAME_FIELD(SCSI_ADDRESS, PortNumber)
KAMBIO_SAME_FIELD(SCSI_ADDRESS, PathId)
KAMBIO_SAME_FIELD(SCSI_ADDRESS, TargetId)
KAMBIO_SAME_FIELD(SCSI_ADDRESS, Lun)

static_assert(sizeof(kambio::IO_SCSI_CAPABILITIES) == sizeof(::IO_SCSI_CAPABILITIES));
KAMBIO_SAME_FIELD(IO_SCSI_CAPABILITIES, Length)
KAMBIO_SAME_FIELD(IO_SCSI_CAPABILITIES, MaximumTransferLength)
KAMBIO_SAME_FIELD(IO_SCSI_CAPABILITIES, MaximumPhysicalPages)
KAMBIO_SAME_FIELD(IO_SCSI_CAPABILITIES, SupportedAsynchronousEvents)
KAMBIO_SAME_FIELD(IO_SCSI_CAPABILITIES, AlignmentMask)
KAMBIO_SAME_FIELD(IO_SCSI_CAPABILITIES, TaggedQueuing)
KAMBIO_SAME_FIELD(IO_SCSI_CAPABILITIES, AdapterScansDown)
KAMBIO_SAME_FIELD(IO_SCSI_CAPABILITIES, AdapterUsesPio)

static_assert(sizeof(kambio::PREVENT_MEDIA_REMOVAL) == sizeof(::PREVENT_MEDIA_REMOVAL));
KAMBIO_SAME_FIELD(PREVENT_MEDIA_REMOVAL, PreventMediaRemoval)

#undef KAMBIO_SAME_FIELD

// The handles and integers cross between the two sets of names unconverted.
static_assert(sizeof(kambio::HANDLE) == sizeof(::HANDLE) &&
              sizeof(kambio::HKEY) == sizeof(::HKEY) &&
              sizeof(kambio::HMODULE) == sizeof(::HMODULE) &&
              sizeof(kambio::HWND) == sizeof(::HWND));
static_assert(sizeof(kambio::DWORD) == sizeof(::DWORD) && sizeof(kambio::LONG) == sizeof(::LONG) &&
              sizeof(kambio::BOOL) == sizeof(::BOOL) && sizeof(kambio::UINT) == sizeof(::UINT) &&
              sizeof(kambio::SIZE_T) == sizeof(::SIZE_T) &&
              sizeof(kambio::MMRESULT) == sizeof(::MMRESULT));
