// The drive letters of the simulated PC and what the NT family's SCSI port
// answers through them: the capability and address queries, the two
// pass-through calls and the media change notification control.
//
// Attaching a device:
//     pc.attachLetter('F', DriveLetter{.device = drive, .address = {8, 1, 0, 1, 0}});
// A letter nothing is attached to does not exist (CreateFileA fails with
// ERROR_FILE_NOT_FOUND).
//
// The pass-through calls run the device at once and let its duration pass
// on the clock. They follow METHOD_BUFFERED: the record goes in as far as
// the input length reaches (the rest of the system buffer is zero) and comes
// back, as far as the output length reaches, only when the call succeeds.
// - A duration longer than TimeOutValue seconds: the port gives up after
//   TimeOutValue seconds and the call fails with ERROR_SEM_TIMEOUT (121), the
//   record as sent. TimeOutValue 0 sets no limit; a device that never
//   completes then stops the run as a hang.
// - `passThroughFailure.error`: every pass-through call fails with it, the
//   device is not run; with a `scsiStatus` or `sense` the record comes back
//   carrying them (as it does with a warning status such as ERROR_MORE_DATA).
// - The pass-through calls need a handle opened for reading and writing
//   (ERROR_ACCESS_DENIED otherwise); the queries and the media change
//   notification control work on any handle, access 0 included.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "device.h"
#include "transport/platform/win_types.h"

namespace kambio::sim {

class SimPc;

inline constexpr DWORD kErrorInvalidFunction = 1;
inline constexpr DWORD kErrorSemTimeout = 121;
inline constexpr DWORD kErrorInsufficientBuffer = 122;

struct PassThroughFailure {
    DWORD error = 0;                    // 0: the calls do not fail
    UCHAR scsiStatus = 0;               // written into the record with the failure
    std::vector<std::uint8_t> sense = {};  // written into the record with the failure
};

struct DriveLetter {
    std::shared_ptr<Device> device = {};  // none: every pass-through call fails, ERROR_IO_DEVICE
    DWORD openError = 0;                // CreateFileA fails with this; 0: it opens
    DWORD capabilitiesError = 0;        // IOCTL_SCSI_GET_CAPABILITIES fails with this
    DWORD addressError = 0;             // IOCTL_SCSI_GET_ADDRESS fails with this
    SCSI_ADDRESS address = {sizeof(SCSI_ADDRESS), 1, 0, 0, 0};  // port, path, target, LUN
    PassThroughFailure passThroughFailure = {};
};

// One IOCTL_STORAGE_MCN_CONTROL call: the letter of the handle and the
// PREVENT_MEDIA_REMOVAL value (1 holds the notification back, 0 releases).
struct McnCall {
    char letter = 0;
    BYTE prevent = 0;
};

// One DeviceIoControl call on a drive handle, as the program made it.
struct IoctlCall {
    char letter = 0;
    DWORD code = 0;
    DWORD inSize = 0;
    DWORD outSize = 0;
    bool succeeded = false;
    DWORD error = 0;          // GetLastError after a failed call
};

class DriveLetters {
public:
    explicit DriveLetters(SimPc& pc);

    void attach(char letter, DriveLetter drive);
    void detach(char letter);
    DriveLetter* find(char letter);

    const std::vector<McnCall>& mcnCalls() const { return mcnCalls_; }
    const std::vector<IoctlCall>& ioctlCalls() const { return ioctlCalls_; }
    std::size_t openHandles() const { return handles_.size(); }

    // --- For the PC -----------------------------------------------------------------
    // Handles paths of the form \\.\X:; returns false for any other path.
    bool open(const char* path, DWORD access, HANDLE* result);
    bool owns(HANDLE handle) const { return handles_.count(handle) != 0; }
    bool close(HANDLE handle);
    BOOL control(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned);
    // A new process: its handles are gone.
    void beginRun();

private:
    struct OpenDrive {
        char letter;
        DWORD access;
    };

    BOOL fail(DWORD error);
    BOOL dispatch(const OpenDrive& opened, DWORD code, void* in, DWORD inSize, void* out,
                  DWORD outSize, DWORD* returned);
    BOOL query(char letter, DriveLetter& drive, DWORD code, void* out, DWORD outSize,
               DWORD* returned);
    BOOL passThrough(const OpenDrive& opened, DriveLetter& drive, DWORD code, void* in,
                     DWORD inSize, void* out, DWORD outSize, DWORD* returned);

    SimPc& pc_;
    std::map<char, DriveLetter> letters_;
    std::map<HANDLE, OpenDrive> handles_;
    std::vector<McnCall> mcnCalls_;
    std::vector<IoctlCall> ioctlCalls_;
};

}  // namespace kambio::sim
