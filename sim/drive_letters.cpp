#include "drive_letters.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "sim_pc.h"

namespace kambio::sim {

// The two pass-through records differ only in what their data field holds
// (an offset into the record or the caller's pointer); one view reads both.
static_assert(sizeof(SCSI_PASS_THROUGH) == sizeof(SCSI_PASS_THROUGH_DIRECT));
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) ==
              offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer));
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) ==
              offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset));
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb));

namespace {

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The letter of a path \\.\X:, or 0.
char LetterOf(const char* path) {
    if (path == nullptr || std::strlen(path) != 6) return 0;
    if (std::strncmp(path, "\\\\.\\", 4) != 0 || path[5] != ':') return 0;
    char letter = Upper(path[4]);
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

DataDirection DirectionOf(UCHAR dataIn) {
    switch (dataIn) {
        case SCSI_IOCTL_DATA_IN: return DataDirection::In;
        case SCSI_IOCTL_DATA_OUT: return DataDirection::Out;
        default: return DataDirection::None;
    }
}

const char* DirectionName(UCHAR dataIn) {
    switch (DirectionOf(dataIn)) {
        case DataDirection::In: return "in";
        case DataDirection::Out: return "out";
        default: return "none";
    }
}

std::string Hex8(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value & 0xFF);
    return text;
}

std::string IoctlLine(char letter, DWORD code) {
    return std::string("ioctl letter=") + letter + " code=" + Hex32(code);
}

}  // namespace

DriveLetters::DriveLetters(SimPc& pc) : pc_(pc) {}

void DriveLetters::attach(char letter, DriveLetter drive) { letters_[Upper(letter)] = std::move(drive); }

void DriveLetters::detach(char letter) { letters_.erase(Upper(letter)); }

DriveLetter* DriveLetters::find(char letter) {
    auto it = letters_.find(Upper(letter));
    return it == letters_.end() ? nullptr : &it->second;
}

void DriveLetters::beginRun() {
    handles_.clear();
    mcnCalls_.clear();
    ioctlCalls_.clear();
}

BOOL DriveLetters::fail(DWORD error) {
    pc_.setLastError(error);
    return 0;
}

bool DriveLetters::open(const char* path, DWORD access, HANDLE* result) {
    char letter = LetterOf(path);
    if (letter == 0) return false;
    std::string line = std::string("open ") + Quoted(path);
    DriveLetter* drive = find(letter);
    if (drive == nullptr || drive->openError != 0) {
        pc_.trace.add(line + " -> fail");
        pc_.setLastError(drive == nullptr ? ERROR_FILE_NOT_FOUND : drive->openError);
        *result = INVALID_HANDLE_VALUE;
        return true;
    }
    *result = pc_.newHandle();
    handles_[*result] = OpenDrive{letter, access};
    pc_.trace.add(line + " -> drive access=" + Hex32(access));
    return true;
}

bool DriveLetters::close(HANDLE handle) { return handles_.erase(handle) != 0; }

BOOL DriveLetters::control(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out,
                           DWORD outSize, DWORD* returned) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return fail(ERROR_INVALID_HANDLE);
    const OpenDrive opened = it->second;
    BOOL succeeded = dispatch(opened, code, in, inSize, out, outSize, returned);
    ioctlCalls_.push_back(IoctlCall{opened.letter, code, inSize, outSize, succeeded != 0,
                                    succeeded != 0 ? 0 : pc_.GetLastError()});
    return succeeded;
}

BOOL DriveLetters::dispatch(const OpenDrive& opened, DWORD code, void* in, DWORD inSize, void* out,
                            DWORD outSize, DWORD* returned) {
    DriveLetter* drive = find(opened.letter);
    if (returned != nullptr) *returned = 0;
    if (drive == nullptr) {  // detached while open: the device went away
        pc_.trace.add(IoctlLine(opened.letter, code) + " -> error=" + std::to_string(ERROR_GEN_FAILURE));
        return fail(ERROR_GEN_FAILURE);
    }
    switch (code) {
        case IOCTL_SCSI_PASS_THROUGH:
        case IOCTL_SCSI_PASS_THROUGH_DIRECT:
            return passThrough(opened, *drive, code, in, inSize, out, outSize, returned);
        case IOCTL_STORAGE_MCN_CONTROL: {
            std::string line = IoctlLine(opened.letter, code);
            if (in == nullptr || inSize < sizeof(PREVENT_MEDIA_REMOVAL)) {
                pc_.trace.add(line + " -> error=" + std::to_string(ERROR_INVALID_PARAMETER));
                return fail(ERROR_INVALID_PARAMETER);
            }
            BYTE prevent = static_cast<const PREVENT_MEDIA_REMOVAL*>(in)->PreventMediaRemoval;
            mcnCalls_.push_back(McnCall{opened.letter, prevent});
            pc_.trace.add(line + " prevent=" + std::to_string(prevent) + " -> ok");
            return 1;
        }
        default:
            return query(opened.letter, *drive, code, out, outSize, returned);
    }
}

BOOL DriveLetters::query(char letter, DriveLetter& drive, DWORD code, void* out, DWORD outSize,
                         DWORD* returned) {
    std::string line = IoctlLine(letter, code);
    auto refuse = [&](DWORD error) {
        pc_.trace.add(line + " -> error=" + std::to_string(error));
        return fail(error);
    };
    if (code == IOCTL_SCSI_GET_CAPABILITIES) {
        if (drive.capabilitiesError != 0) return refuse(drive.capabilitiesError);
        if (out == nullptr || outSize < sizeof(IO_SCSI_CAPABILITIES)) return refuse(kErrorInsufficientBuffer);
        IO_SCSI_CAPABILITIES capabilities{};
        capabilities.Length = sizeof capabilities;
        capabilities.MaximumTransferLength = 0x10000;
        capabilities.MaximumPhysicalPages = 17;
        capabilities.AlignmentMask = 1;
        std::memcpy(out, &capabilities, sizeof capabilities);
        if (returned != nullptr) *returned = sizeof capabilities;
    } else if (code == IOCTL_SCSI_GET_ADDRESS) {
        if (drive.addressError != 0) return refuse(drive.addressError);
        if (out == nullptr || outSize < sizeof(SCSI_ADDRESS)) return refuse(kErrorInsufficientBuffer);
        SCSI_ADDRESS address = drive.address;
        address.Length = sizeof address;
        std::memcpy(out, &address, sizeof address);
        if (returned != nullptr) *returned = sizeof address;
    } else {
        return refuse(kErrorInvalidFunction);
    }
    pc_.trace.add(line + " -> ok");
    return 1;
}

BOOL DriveLetters::passThrough(const OpenDrive& opened, DriveLetter& drive, DWORD code, void* in,
                               DWORD inSize, void* out, DWORD outSize, DWORD* returned) {
    const bool direct = code == IOCTL_SCSI_PASS_THROUGH_DIRECT;
    const DWORD headerSize = sizeof(SCSI_PASS_THROUGH);
    if (in == nullptr || out == nullptr || inSize < headerSize || outSize < headerSize) {
        pc_.trace.add(IoctlLine(opened.letter, code) + " -> error=" +
                      std::to_string(ERROR_INVALID_PARAMETER));
        return fail(ERROR_INVALID_PARAMETER);
    }

    // METHOD_BUFFERED: the port sees a system buffer as long as the longer
    // of the two lengths, holding the input length's worth of the record.
    std::vector<std::uint8_t> system(std::max(inSize, outSize), 0);
    std::memcpy(system.data(), in, inSize);
    SCSI_PASS_THROUGH header;
    std::memcpy(&header, system.data(), headerSize);
    const UCHAR cdbLength = std::min<UCHAR>(header.CdbLength, 16);

    std::string line = std::string("scsi spt letter=") + opened.letter +
                       " cdb=" + HexBytes(header.Cdb, cdbLength) + " dir=" + DirectionName(header.DataIn) +
                       " len=" + std::to_string(header.DataTransferLength) +
                       " timeout=" + std::to_string(header.TimeOutValue) + "s mode=" +
                       (direct ? "direct" : "buffered");
    // The record comes back to the caller only from a call that succeeded or
    // that is told to bring it back.
    auto giveBack = [&] {
        std::memcpy(system.data(), &header, headerSize);
        std::memcpy(out, system.data(), outSize);
        if (returned != nullptr) *returned = outSize;
    };
    auto refuse = [&](DWORD error) {
        pc_.trace.add(line + " status=" + Hex8(header.ScsiStatus) + " error=" + std::to_string(error));
        return fail(error);
    };
    auto writeSense = [&](const std::vector<std::uint8_t>& sense) {
        std::size_t count = std::min<std::size_t>(sense.size(), header.SenseInfoLength);
        if (count != 0) std::memcpy(system.data() + header.SenseInfoOffset, sense.data(), count);
        header.SenseInfoLength = static_cast<UCHAR>(count);
    };

    if ((opened.access & kReadWrite) != kReadWrite) return refuse(ERROR_ACCESS_DENIED);
    bool senseFits = header.SenseInfoLength == 0 ||
                     std::size_t{header.SenseInfoOffset} + header.SenseInfoLength <= outSize;
    bool dataFits = direct ? (header.DataTransferLength == 0 || header.DataBufferOffset != 0)
                           : (header.DataTransferLength == 0 ||
                              std::size_t{header.DataBufferOffset} + header.DataTransferLength <= system.size());
    if (header.Length != headerSize || header.CdbLength > 16 || !senseFits || !dataFits) {
        return refuse(ERROR_INVALID_PARAMETER);
    }

    const PassThroughFailure& failure = drive.passThroughFailure;
    if (failure.error != 0) {
        if (failure.scsiStatus != 0 || !failure.sense.empty()) {
            header.ScsiStatus = failure.scsiStatus;
            writeSense(failure.sense);
            giveBack();
        }
        return refuse(failure.error);
    }
    if (drive.device == nullptr) return refuse(ERROR_IO_DEVICE);

    std::uint8_t* data = direct ? reinterpret_cast<std::uint8_t*>(header.DataBufferOffset)
                                : system.data() + header.DataBufferOffset;
    ScsiCommand command{std::vector<std::uint8_t>(header.Cdb, header.Cdb + cdbLength),
                        DirectionOf(header.DataIn), header.DataTransferLength != 0 ? data : nullptr,
                        header.DataTransferLength};
    ScsiOutcome outcome = drive.device->execute(command, pc_.clock.now());

    std::uint64_t limitMs = std::uint64_t{header.TimeOutValue} * 1000;
    if (limitMs == 0 && outcome.neverCompletes) {
        pc_.trace.add(line + " status=pending");
        throw SimHang("a pass-through request without time-out to a device that never answers");
    }
    if (outcome.neverCompletes || (limitMs != 0 && outcome.durationMs > limitMs)) {
        pc_.clock.advance(limitMs);
        return refuse(kErrorSemTimeout);
    }
    pc_.clock.advance(outcome.durationMs);

    header.ScsiStatus = outcome.status;
    header.DataTransferLength = std::min(outcome.transferred, header.DataTransferLength);
    if (outcome.status == kStatusCheckCondition && !outcome.sense.empty()) {
        writeSense(outcome.sense);
    } else {
        header.SenseInfoLength = 0;
    }
    giveBack();
    std::string shown = line + " status=" + Hex8(header.ScsiStatus);
    if (header.SenseInfoLength >= 14) {
        const std::uint8_t* sense = system.data() + header.SenseInfoOffset;
        char text[24];
        std::snprintf(text, sizeof text, " sense=%02x/%02x/%02x", sense[2], sense[12], sense[13]);
        shown += text;
    }
    pc_.trace.add(shown);
    return 1;
}

}  // namespace kambio::sim
