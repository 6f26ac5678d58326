#include "sim_pc.h"

#include <algorithm>
#include <cstring>

namespace kambio::sim {

SimPc::SimPc() = default;
SimPc::~SimPc() = default;

void SimPc::beginRun() {
    blocks_.clear();
    allocationCount_ = 0;
    events_.clear();
    timerPeriods_.clear();
    timingOpen_ = false;
    tickReadInTiming_ = false;
    lastError_ = 0;
    aspi.beginRun();
    drives_.beginRun();
    registry.closeAll();
}

HANDLE SimPc::newHandle() { return reinterpret_cast<HANDLE>(nextHandle_++ * 4); }

// --- OS version and language --------------------------------------------------

BOOL SimPc::GetVersionExA(OSVERSIONINFOA* info) {
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        lastError_ = ERROR_INVALID_PARAMETER;
        return 0;
    }
    info->dwPlatformId = os.platformId;
    info->dwMajorVersion = os.major;
    info->dwMinorVersion = os.minor;
    info->dwBuildNumber = os.build;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return 1;
}

UINT SimPc::GetOEMCP() { return oemCodePage; }

// --- Memory -----------------------------------------------------------------------

HGLOBAL SimPc::GlobalAlloc(UINT flags, SIZE_T bytes) {
    ++allocationCount_;
    bool fails = failingAllocations.count(allocationCount_) != 0;
    trace.add("alloc flags=" + Hex32(flags) + " bytes=" + std::to_string(bytes) +
              (fails ? " -> fail" : " -> ok"));
    if (fails) {
        lastError_ = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    HANDLE handle = newHandle();
    // Fresh memory is not zero unless asked for: a program that forgets
    // GMEM_ZEROINIT sees the difference.
    std::uint8_t fill = (flags & GMEM_ZEROINIT) != 0 ? 0x00 : 0xCD;
    blocks_[handle] = std::make_unique<std::vector<std::uint8_t>>(std::max<SIZE_T>(bytes, 1), fill);
    return handle;
}

void* SimPc::GlobalLock(HGLOBAL block) {
    auto it = blocks_.find(block);
    if (it == blocks_.end()) {
        lastError_ = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return it->second->data();
}

BOOL SimPc::GlobalUnlock(HGLOBAL) { return 0; }  // the lock count reaches zero

HGLOBAL SimPc::GlobalFree(HGLOBAL block) {
    if (blocks_.erase(block) == 0) {
        lastError_ = ERROR_INVALID_HANDLE;
        return block;
    }
    return nullptr;
}

// --- ASPI: the layer (sim/aspi_layer.h) ------------------------------------------------

HMODULE SimPc::LoadLibraryA(const char* name) { return aspi.load(name); }

DWORD SimPc::GetASPI32SupportInfo() { return aspi.supportInfo(); }

DWORD SimPc::SendASPI32Command(void* srb) { return aspi.send(srb); }

// --- Events, waits, sleep -------------------------------------------------------------

HANDLE SimPc::newEvent(bool manualReset, bool signalled) {
    HANDLE handle = newHandle();
    events_[handle] = Event{manualReset, signalled};
    return handle;
}

void SimPc::setEvent(HANDLE event) {
    auto it = events_.find(event);
    if (it != events_.end()) it->second.signalled = true;
}

bool SimPc::isEvent(HANDLE handle) const { return events_.count(handle) != 0; }

HANDLE SimPc::CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    return newEvent(manualReset != 0, initialState != 0);
}

DWORD SimPc::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto it = events_.find(handle);
    if (it == events_.end()) {
        lastError_ = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    std::uint64_t start = clock.now();
    aspi.noteWait(handle, milliseconds);
    auto signalled = [&] { return events_.count(handle) != 0 && events_[handle].signalled; };
    std::uint64_t limit = milliseconds == INFINITE ? Clock::kNoLimit : milliseconds;
    bool ended = clock.advanceUntil(signalled, limit);
    std::string limitText = milliseconds == INFINITE ? "INFINITE" : std::to_string(milliseconds);
    if (!ended && milliseconds == INFINITE) {
        aspi.tracePending();
        trace.add("wait limit=INFINITE -> never");
        throw SimHang("the program waits without limit for an event that nothing will signal");
    }
    DWORD result = ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    if (ended && !events_[handle].manualReset) events_[handle].signalled = false;
    trace.add("wait limit=" + limitText + " -> " + (ended ? "signalled" : "timeout") +
              " after=" + std::to_string(clock.now() - start));
    return result;
}

BOOL SimPc::CloseHandle(HANDLE handle) {
    if (events_.erase(handle) != 0) return 1;
    if (drives_.close(handle)) return 1;
    lastError_ = ERROR_INVALID_HANDLE;
    return 0;
}

void SimPc::Sleep(DWORD milliseconds) {
    trace.add("sleep " + std::to_string(milliseconds));
    clock.advance(milliseconds);
    if (aspi.polledForever()) {
        aspi.tracePending();
        throw SimHang("the program polls a request that nothing will ever end");
    }
}

// --- Devices and files: drive letters (sim/drive_letters.h); no files yet ------------------

HANDLE SimPc::CreateFileA(const char* path, DWORD access, DWORD, DWORD, DWORD) {
    HANDLE opened = INVALID_HANDLE_VALUE;
    if (drives_.open(path, access, &opened)) return opened;
    trace.add(std::string("open ") + Quoted(path != nullptr ? path : "") + " -> fail");
    lastError_ = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
}

BOOL SimPc::DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                            DWORD outSize, DWORD* returned) {
    return drives_.control(device, code, in, inSize, out, outSize, returned);
}

DWORD SimPc::GetFileSize(HANDLE) {
    lastError_ = ERROR_INVALID_HANDLE;
    return INVALID_FILE_SIZE;
}

BOOL SimPc::ReadFile(HANDLE, void*, DWORD, DWORD* read) {
    if (read != nullptr) *read = 0;
    lastError_ = ERROR_INVALID_HANDLE;
    return 0;
}

DWORD SimPc::GetLastError() { return lastError_; }

// --- Registry (sim/registry.h) --------------------------------------------------------

LONG SimPc::RegOpenKeyExA(HKEY root, const char* subKey, DWORD, REGSAM, HKEY* result) {
    std::string path = registry.describe(root, subKey);
    LONG status = registry.open(root, subKey, result);
    trace.add("regopen " + path + " -> " + std::to_string(status));
    return status;
}

LONG SimPc::RegQueryInfoKeyA(HKEY key, DWORD* subKeys) { return registry.subKeyCount(key, subKeys); }

LONG SimPc::RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize) {
    return registry.enumKey(key, index, name, nameSize);
}

LONG SimPc::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                             DWORD* dataSize) {
    LONG status = registry.queryValue(key, valueName, type, data, dataSize);
    trace.add("regquery " + registry.describe(key) + " value=" +
              Quoted(valueName != nullptr ? valueName : "") + " -> " + std::to_string(status));
    return status;
}

LONG SimPc::RegCloseKey(HKEY key) { return registry.close(key); }

// --- Multimedia timer ------------------------------------------------------------------

MMRESULT SimPc::timeBeginPeriod(UINT period) {
    if (period < minimumTimerPeriod || period == 0) return TIMERR_NOCANDO;
    timerPeriods_.push_back(period);
    timingOpen_ = true;
    tickReadInTiming_ = false;
    return TIMERR_NOERROR;
}

MMRESULT SimPc::timeEndPeriod(UINT period) {
    auto it = std::find(timerPeriods_.begin(), timerPeriods_.end(), period);
    if (it == timerPeriods_.end()) return TIMERR_NOCANDO;
    timerPeriods_.erase(it);
    if (timingOpen_ && tickReadInTiming_) {
        trace.add("delay " + std::to_string(timingLastRead_ - timingFirstRead_));
    }
    timingOpen_ = false;
    return TIMERR_NOERROR;
}

DWORD SimPc::timeGetTime() {
    // Reading the tick takes a millisecond of virtual time, so that a busy
    // wait on it moves the clock on.
    clock.advance(1);
    if (timingOpen_) {
        if (!tickReadInTiming_) timingFirstRead_ = clock.now();
        tickReadInTiming_ = true;
        timingLastRead_ = clock.now();
    }
    return clock.tick();
}

// --- User interface and console -----------------------------------------------------

int SimPc::MessageBoxA(HWND, const char* text, const char* caption, UINT type) {
    BoxRecord box{type, caption != nullptr ? caption : "", text != nullptr ? text : "", 0};
    if (!boxAnswers.empty()) {
        box.answer = boxAnswers.front();
        boxAnswers.pop_front();
    } else if (answerer) {
        box.answer = answerer(box);
    }
    boxes.push_back(box);
    trace.add("box flags=" + Hex32(type) + " caption=" + Quoted(box.caption) + " text=" +
              Quoted(box.text) + " answer=" + std::to_string(box.answer));
    if (onBox) onBox(box);
    return box.answer;
}

void SimPc::WriteStdout(std::string_view text) {
    console.append(text);
    if (onConsoleOutput) onConsoleOutput(text);
}

}  // namespace kambio::sim
