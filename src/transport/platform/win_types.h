// The Win32 and ASPI types, constants and records the program exchanges with
// its host. Declared here, with their published names, so that program code,
// the Win32 backend and the simulated PC share one definition and no platform
// header is needed outside the Win32 backend.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kambio {

using BYTE = std::uint8_t;
using UCHAR = std::uint8_t;
using USHORT = std::uint16_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using MMRESULT = std::uint32_t;
using SIZE_T = std::size_t;
using ULONG_PTR = std::uintptr_t;

using HANDLE = void*;
using HGLOBAL = void*;
using HMODULE = void*;
using HWND = void*;
using HKEY = void*;
using REGSAM = DWORD;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});
inline HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});
inline HKEY HKEY_DYN_DATA = reinterpret_cast<HKEY>(std::uintptr_t{0x80000006});

// Error codes and results.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_IO_DEVICE = 1117;

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 0x102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;

inline constexpr MMRESULT TIMERR_NOERROR = 0;
inline constexpr MMRESULT TIMERR_NOCANDO = 97;

// Memory.
inline constexpr UINT GMEM_ZEROINIT = 0x40;

// Files and devices.
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

// Registry.
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

// Message boxes.
inline constexpr UINT MB_OK = 0x00;
inline constexpr UINT MB_OKCANCEL = 0x01;
inline constexpr UINT MB_YESNO = 0x04;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr UINT MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// OS version.
inline constexpr DWORD VER_PLATFORM_WIN32s = 0;
inline constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148);

// I/O controls.
inline constexpr DWORD IOCTL_SCSI_PASS_THROUGH = 0x4D004;
inline constexpr DWORD IOCTL_SCSI_PASS_THROUGH_DIRECT = 0x4D014;
inline constexpr DWORD IOCTL_SCSI_GET_CAPABILITIES = 0x41010;
inline constexpr DWORD IOCTL_SCSI_GET_ADDRESS = 0x41018;
inline constexpr DWORD IOCTL_STORAGE_MCN_CONTROL = 0x2D0944;

inline constexpr UCHAR SCSI_IOCTL_DATA_OUT = 0;
inline constexpr UCHAR SCSI_IOCTL_DATA_IN = 1;
inline constexpr UCHAR SCSI_IOCTL_DATA_UNSPECIFIED = 2;

struct SCSI_PASS_THROUGH {
    USHORT Length;
    UCHAR ScsiStatus;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    UCHAR CdbLength;
    UCHAR SenseInfoLength;
    UCHAR DataIn;
    ULONG DataTransferLength;
    ULONG TimeOutValue;
    ULONG_PTR DataBufferOffset;
    ULONG SenseInfoOffset;
    UCHAR Cdb[16];
};

struct SCSI_PASS_THROUGH_DIRECT {
    USHORT Length;
    UCHAR ScsiStatus;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    UCHAR CdbLength;
    UCHAR SenseInfoLength;
    UCHAR DataIn;
    ULONG DataTransferLength;
    ULONG TimeOutValue;
    void* DataBuffer;
    ULONG SenseInfoOffset;
    UCHAR Cdb[16];
};

// The direct record as the program sends it: the platform writes the sense
// bytes behind the pass-through structure, at SenseInfoOffset.
struct ScsiPassThroughDirectRecord {
    SCSI_PASS_THROUGH_DIRECT sptd;
    ULONG filler;
    UCHAR sense[32];
};

// The buffered record carries its data inside, behind the sense area.
struct ScsiPassThroughRecord {
    SCSI_PASS_THROUGH spt;
    ULONG filler;
    UCHAR sense[32];
    UCHAR data[32];
};

struct SCSI_ADDRESS {
    ULONG Length;
    UCHAR PortNumber;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
};

struct IO_SCSI_CAPABILITIES {
    ULONG Length;
    ULONG MaximumTransferLength;
    ULONG MaximumPhysicalPages;
    ULONG SupportedAsynchronousEvents;
    ULONG AlignmentMask;
    BYTE TaggedQueuing;
    BYTE AdapterScansDown;
    BYTE AdapterUsesPio;
};

struct PREVENT_MEDIA_REMOVAL {
    BYTE PreventMediaRemoval;
};

// ASPI for Win32.
inline constexpr BYTE SC_HA_INQUIRY = 0x00;
inline constexpr BYTE SC_EXEC_SCSI_CMD = 0x02;
inline constexpr BYTE SC_ABORT_SRB = 0x03;

inline constexpr BYTE SS_PENDING = 0x00;
inline constexpr BYTE SS_COMP = 0x01;
inline constexpr BYTE SS_ABORTED = 0x02;
inline constexpr BYTE SS_ABORT_FAIL = 0x03;
inline constexpr BYTE SS_ERR = 0x04;
inline constexpr BYTE SS_INVALID_CMD = 0x80;
inline constexpr BYTE SS_INVALID_HA = 0x81;
inline constexpr BYTE SS_NO_DEVICE = 0x82;
inline constexpr BYTE SS_FAILED_INIT = 0xE4;
inline constexpr BYTE SS_NO_ADAPTERS = 0xE8;

inline constexpr BYTE SRB_DIR_IN = 0x08;
inline constexpr BYTE SRB_DIR_OUT = 0x10;
inline constexpr BYTE SRB_EVENT_NOTIFY = 0x40;

#pragma pack(push, 1)
struct SRB_HAInquiry {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE HA_Count;
    BYTE HA_SCSI_ID;
    BYTE HA_ManagerId[16];
    BYTE HA_Identifier[16];
    BYTE HA_Unique[16];
    WORD HA_Rsvd1;
};
static_assert(sizeof(SRB_HAInquiry) == 60);
static_assert(offsetof(SRB_HAInquiry, HA_Identifier) == 26);

struct SRB_ExecSCSICmd {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    WORD SRB_Rsvd1;
    DWORD SRB_BufLen;
    BYTE* SRB_BufPointer;
    BYTE SRB_SenseLen;
    BYTE SRB_CDBLen;
    BYTE SRB_HaStat;
    BYTE SRB_TargStat;
    void* SRB_PostProc;
    BYTE SRB_Rsvd2[20];
    BYTE CDBByte[16];
    BYTE SenseArea[20];
};

struct SRB_Abort {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
};
#pragma pack(pop)

// The published sizes hold where pointers are 32 bits wide, as in the
// Windows program. Elsewhere (the simulated PC on a 64-bit host) the records
// keep their field order and grow with the pointers.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(SRB_ExecSCSICmd) == 84);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 20);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_CDBLen) == 21);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 24);
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48);
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 64);
static_assert(sizeof(SRB_Abort) == 12);

static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) == 16);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 20);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 28);
static_assert(offsetof(ScsiPassThroughDirectRecord, sense) == 48);
static_assert(sizeof(ScsiPassThroughDirectRecord) == 80);

static_assert(sizeof(SCSI_PASS_THROUGH) == 44);
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == 20);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == 24);
static_assert(offsetof(ScsiPassThroughRecord, sense) == 48);
static_assert(offsetof(ScsiPassThroughRecord, data) == 80);
static_assert(sizeof(ScsiPassThroughRecord) == 112);
#endif

static_assert(sizeof(SCSI_ADDRESS) == 8);
static_assert(sizeof(IO_SCSI_CAPABILITIES) == 24);

}  // namespace kambio
