// The simulated PC: an implementation of the program's platform that models
// the machine the program runs on. Everything the program asks of its host is
// answered here from the PC's configuration, and recorded in the trace.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "aspi_layer.h"
#include "clock.h"
#include "drive_letters.h"
#include "registry.h"
#include "trace.h"
#include "transport/platform/platform.h"

namespace kambio::sim {

// Thrown when the program would wait forever on the real PC (an unbounded
// wait that nothing can end); the run is stopped instead of hanging.
class SimHang : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct OsVersion {
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    DWORD major = 5;
    DWORD minor = 1;
    DWORD build = 2600;
};

struct BoxRecord {
    UINT flags = 0;
    std::string caption;
    std::string text;
    int answer = 0;
};

class SimPc : public Platform {
public:
    SimPc();
    ~SimPc() override;
    // The host's parts hold on to their PC.
    SimPc(const SimPc&) = delete;
    SimPc& operator=(const SimPc&) = delete;

    // --- The PC's configuration -------------------------------------------
    OsVersion os;
    UINT oemCodePage = 437;
    // Timer periods below this are refused by timeBeginPeriod.
    UINT minimumTimerPeriod = 1;
    // GlobalAlloc calls (counted from 1 in each run) that fail.
    std::set<int> failingAllocations;
    // Answers to message boxes, used in order; when they run out, `answerer`
    // is asked, and without one the box cannot be shown (answer 0).
    std::deque<int> boxAnswers;
    std::function<int(const BoxRecord&)> answerer;
    // Receives the program's console output as it is written.
    std::function<void(std::string_view)> onConsoleOutput;
    // Called for every box after it was answered.
    std::function<void(const BoxRecord&)> onBox;

    // The registry (sim/registry.h) and the ASPI layer (sim/aspi_layer.h).
    Registry registry;
    AspiLayer aspi{*this};

    // Drive letters for the NT family's SCSI port (sim/drive_letters.h):
    //     pc.attachLetter('F', DriveLetter{.device = drive});
    // attaches a device (or a letter that fails some way) to F:; attaching
    // again replaces it. A letter nothing is attached to does not exist.
    void attachLetter(char letter, DriveLetter drive) { drives_.attach(letter, std::move(drive)); }
    void detachLetter(char letter) { drives_.detach(letter); }
    // The configuration of an attached letter, to change it between steps.
    DriveLetter* letter(char letter) { return drives_.find(letter); }

    // --- What the program did -----------------------------------------------
    std::string console;            // the bytes written to standard output
    std::vector<BoxRecord> boxes;   // every box, in order
    Trace trace;
    Clock clock;

    // Prepares a new run of the program on this PC: the process's handles,
    // memory and timer settings start afresh; drives, registry, clock and
    // configuration stay as the previous run left them.
    void beginRun();
    // Number of timeBeginPeriod calls not yet matched by timeEndPeriod.
    int openTimerPeriods() const { return static_cast<int>(timerPeriods_.size()); }
    // Global blocks still allocated.
    std::size_t liveAllocations() const { return blocks_.size(); }
    // Events and drive handles the program holds open.
    std::size_t openEvents() const { return events_.size(); }
    std::size_t openDriveHandles() const { return drives_.openHandles(); }
    // Media change notification controls of this run, in order.
    const std::vector<McnCall>& mcnCalls() const { return drives_.mcnCalls(); }
    // DeviceIoControl calls on drive handles in this run, in order.
    const std::vector<IoctlCall>& ioctlCalls() const { return drives_.ioctlCalls(); }

    // --- Platform ---------------------------------------------------------------
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

    // --- For the host's own parts (ASPI layer, drives) ----------------------
    HANDLE newEvent(bool manualReset, bool signalled);
    void setEvent(HANDLE event);
    bool isEvent(HANDLE handle) const;
    HANDLE newHandle();
    void setLastError(DWORD error) { lastError_ = error; }

private:
    struct Event {
        bool manualReset = false;
        bool signalled = false;
    };

    DriveLetters drives_{*this};
    std::uintptr_t nextHandle_ = 0x100;
    std::map<HANDLE, std::unique_ptr<std::vector<std::uint8_t>>> blocks_;
    int allocationCount_ = 0;
    std::map<HANDLE, Event> events_;
    std::vector<UINT> timerPeriods_;
    bool timingOpen_ = false;
    bool tickReadInTiming_ = false;
    std::uint64_t timingFirstRead_ = 0;
    std::uint64_t timingLastRead_ = 0;
    DWORD lastError_ = 0;
};

}  // namespace kambio::sim
