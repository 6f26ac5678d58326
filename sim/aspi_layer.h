// The ASPI for Win32 layer of the simulated PC (WNASPI32.DLL): its host
// adapters, the devices on them, and the requests it has taken.
//
// Attaching a device:
//     pc.aspi.installed = true;
//     pc.aspi.addAdapter("ESDI_506");              // adapter 0
//     pc.aspi.attach(0, 1, device);                // adapter 0, target id 1, LUN 0
//
// Requests (SC_EXEC_SCSI_CMD) run the device when sent and end after the
// device's duration, on the PC's clock: at that moment the data read is
// copied into the buffer the request named (outcome.transferred bytes), and
// SRB_TargStat, the sense and SRB_Status are written into the request block
// that was sent, wherever that block now is and whatever it now holds,
// then the event is signalled when SRB_EVENT_NOTIFY is set. A request the
// device never completes stays pending until it is aborted.
//
// - A target id with no device (or a LUN other than 0): the request is taken
//   (SS_PENDING) and ends 1 ms later with SRB_Status SS_NO_DEVICE (82h),
//   SRB_HaStat 11h (selection time-out), the sense area untouched.
// - An adapter number the layer does not have: refused at once, SS_INVALID_HA.
// - `refuseStatus`: every SC_EXEC_SCSI_CMD is refused at once with it (the
//   call returns it and SRB_Status holds it); nothing is ever signalled.
// - SC_ABORT_SRB: the named request ends at once with SS_ABORTED and its
//   event is signalled; the abort itself answers SS_COMP, or SS_ABORT_FAIL
//   when no request of ours is pending at that address. With `abortIgnored`
//   it answers SS_COMP and the request goes on.
// - SC_HA_INQUIRY: answered before the call returns; an adapter with
//   `inquiryFails` returns SS_ERR and leaves the block as it was.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "device.h"
#include "transport/platform/win_types.h"

namespace kambio::sim {

class SimPc;

struct AspiAdapter {
    std::string identifier = {};  // HA_Identifier: up to 16 bytes, the rest zero
    bool inquiryFails = false;
    std::map<int, std::shared_ptr<Device>> targets = {};  // by target id, LUN 0
};

class AspiLayer {
public:
    explicit AspiLayer(SimPc& pc);

    // --- Configuration ---------------------------------------------------------
    bool installed = false;                  // LoadLibraryA("WNASPI32.DLL") finds it
    BYTE supportStatus = SS_COMP;            // GetASPI32SupportInfo, bits 8 to 15
    std::optional<int> reportedAdapterCount; // its bits 0 to 7; default: the adapters configured
    std::vector<AspiAdapter> adapters;
    BYTE refuseStatus = 0;                   // non-zero: execution requests refused at once
    bool abortIgnored = false;

    AspiAdapter& addAdapter(std::string identifier);
    void attach(int adapter, int target, std::shared_ptr<Device> device);

    // --- What the program did in this run --------------------------------------
    int supportInfoCalls() const { return supportInfoCalls_; }
    int commandCalls() const { return commandCalls_; }
    std::size_t pendingRequests() const { return pending_.size(); }

    // --- For the PC ------------------------------------------------------------------
    HMODULE load(const char* name);
    DWORD supportInfo();
    DWORD send(void* srb);
    // A wait on `event` begins with this limit.
    void noteWait(HANDLE event, DWORD milliseconds);
    // A new process: the requests of the last one are dropped.
    void beginRun();
    // The run is stopped: every request still pending gets its trace line.
    void tracePending();
    // A request the program polls (no event) has been pending for so long,
    // and nothing will end it, that the program would poll it forever.
    bool polledForever() const;

private:
    struct Request {
        SRB_ExecSCSICmd* block = nullptr;
        BYTE* buffer = nullptr;
        DWORD length = 0;
        std::vector<std::uint8_t> staging;  // what the device read, until the request ends
        HANDLE event = nullptr;
        int adapter = 0;
        int target = 0;
        std::vector<std::uint8_t> cdb;
        BYTE flags = 0;
        std::optional<DWORD> waitLimit;     // the limit of the first wait on its event
        std::uint64_t sentAt = 0;
        bool neverEnds = false;
        Clock::ActionId action = 0;
        ScsiOutcome outcome;
        bool noDevice = false;
        bool refused = false;
    };

    DWORD execute(SRB_ExecSCSICmd* srb);
    DWORD abort(SRB_Abort* srb);
    DWORD inquire(SRB_HAInquiry* srb);
    void complete(std::uint64_t id);
    void end(std::uint64_t id, BYTE status);
    void traceRequest(const Request& request, const std::string& status) const;
    int adapterCount() const;

    SimPc& pc_;
    bool loaded_ = false;
    int supportInfoCalls_ = 0;
    int commandCalls_ = 0;
    std::uint64_t nextRequest_ = 1;
    std::map<std::uint64_t, Request> pending_;
};

}  // namespace kambio::sim
