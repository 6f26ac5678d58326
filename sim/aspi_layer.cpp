#include "aspi_layer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim_pc.h"

namespace kambio::sim {

namespace {

constexpr std::uint64_t kNoDeviceMs = 1;
constexpr BYTE kHostSelectionTimeout = 0x11;
constexpr BYTE kHostAdapterScsiId = 7;
constexpr char kManagerId[] = "ASPI for WIN32  ";
// A request polled this long with nothing left that could end it would be
// polled for ever.
constexpr std::uint64_t kPolledForeverMs = 24ull * 60 * 60 * 1000;

bool SameNameIgnoringCase(const char* a, const char* b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (lower(*a) != lower(*b)) return false;
    }
    return *a == *b;
}

DataDirection DirectionOf(BYTE flags) {
    switch (flags & (SRB_DIR_IN | SRB_DIR_OUT)) {
        case SRB_DIR_IN: return DataDirection::In;
        case SRB_DIR_OUT: return DataDirection::Out;
        default: return DataDirection::None;
    }
}

const char* DirectionName(BYTE flags) {
    switch (DirectionOf(flags)) {
        case DataDirection::In: return "in";
        case DataDirection::Out: return "out";
        default: return "none";
    }
}

std::string Hex8(BYTE value) {
    static const char digits[] = "0123456789abcdef";
    return std::string("0x") + digits[value >> 4] + digits[value & 0x0F];
}

}  // namespace

AspiLayer::AspiLayer(SimPc& pc) : pc_(pc) {}

AspiAdapter& AspiLayer::addAdapter(std::string identifier) {
    adapters.push_back(AspiAdapter{std::move(identifier), false, {}});
    return adapters.back();
}

void AspiLayer::attach(int adapter, int target, std::shared_ptr<Device> device) {
    if (adapter >= static_cast<int>(adapters.size())) adapters.resize(adapter + 1);
    adapters[adapter].targets[target] = std::move(device);
}

int AspiLayer::adapterCount() const {
    return reportedAdapterCount.value_or(static_cast<int>(adapters.size()));
}

void AspiLayer::beginRun() {
    for (auto& [id, request] : pending_) {
        if (request.action != 0) pc_.clock.cancel(request.action);
    }
    pending_.clear();
    loaded_ = false;
    supportInfoCalls_ = 0;
    commandCalls_ = 0;
}

HMODULE AspiLayer::load(const char* name) {
    bool found = installed && name != nullptr && SameNameIgnoringCase(name, "WNASPI32.DLL");
    pc_.trace.add(std::string("loadlibrary ") + Quoted(name != nullptr ? name : "") +
                  (found ? " -> ok" : " -> fail"));
    if (!found) {
        pc_.setLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    loaded_ = true;
    return reinterpret_cast<HMODULE>(std::uintptr_t{0x10000000});
}

DWORD AspiLayer::supportInfo() {
    ++supportInfoCalls_;
    if (!loaded_) {
        pc_.trace.add("aspi supportinfo without WNASPI32.DLL");
        return DWORD{SS_NO_ADAPTERS} << 8;
    }
    BYTE count = static_cast<BYTE>(adapterCount());
    pc_.trace.add("aspi supportinfo -> status=" + Hex8(supportStatus) +
                  " adapters=" + std::to_string(count));
    return DWORD{supportStatus} << 8 | count;
}

DWORD AspiLayer::send(void* srb) {
    ++commandCalls_;
    if (!loaded_) {
        pc_.trace.add("aspi command without WNASPI32.DLL");
        return SS_NO_ADAPTERS;
    }
    if (srb == nullptr) return SS_INVALID_CMD;
    switch (*static_cast<BYTE*>(srb)) {
        case SC_HA_INQUIRY: return inquire(static_cast<SRB_HAInquiry*>(srb));
        case SC_EXEC_SCSI_CMD: return execute(static_cast<SRB_ExecSCSICmd*>(srb));
        case SC_ABORT_SRB: return abort(static_cast<SRB_Abort*>(srb));
        default:
            static_cast<SRB_HAInquiry*>(srb)->SRB_Status = SS_INVALID_CMD;
            return SS_INVALID_CMD;
    }
}

DWORD AspiLayer::inquire(SRB_HAInquiry* srb) {
    int index = srb->SRB_HaId;
    std::string line = "aspi inquiry ha=" + std::to_string(index) + " -> ";
    if (index >= static_cast<int>(adapters.size())) {
        srb->SRB_Status = SS_INVALID_HA;
        pc_.trace.add(line + Hex8(SS_INVALID_HA));
        return SS_INVALID_HA;
    }
    const AspiAdapter& adapter = adapters[index];
    if (adapter.inquiryFails) {
        pc_.trace.add(line + Hex8(SS_ERR));
        return SS_ERR;
    }
    srb->HA_Count = static_cast<BYTE>(adapterCount());
    srb->HA_SCSI_ID = kHostAdapterScsiId;
    std::memcpy(srb->HA_ManagerId, kManagerId, sizeof srb->HA_ManagerId);
    std::memset(srb->HA_Identifier, 0, sizeof srb->HA_Identifier);
    std::memcpy(srb->HA_Identifier, adapter.identifier.data(),
                std::min(adapter.identifier.size(), sizeof srb->HA_Identifier));
    std::memset(srb->HA_Unique, 0, sizeof srb->HA_Unique);
    srb->HA_Unique[3] = 8;            // targets per bus
    srb->HA_Unique[5] = 0x00;         // largest transfer: 64 KiB, little-endian
    srb->HA_Unique[6] = 0x01;
    srb->SRB_Status = SS_COMP;
    std::string name = adapter.identifier.substr(0, sizeof srb->HA_Identifier);
    pc_.trace.add(line + Hex8(SS_COMP) + " identifier=" + Quoted(name));
    return SS_COMP;
}

DWORD AspiLayer::execute(SRB_ExecSCSICmd* srb) {
    Request request;
    request.block = srb;
    request.buffer = srb->SRB_BufPointer;
    request.length = srb->SRB_BufLen;
    request.event = (srb->SRB_Flags & SRB_EVENT_NOTIFY) != 0 ? srb->SRB_PostProc : nullptr;
    request.adapter = srb->SRB_HaId;
    request.target = srb->SRB_Target;
    request.cdb.assign(srb->CDBByte, srb->CDBByte + std::min<int>(srb->SRB_CDBLen, 16));
    request.flags = srb->SRB_Flags;
    request.sentAt = pc_.clock.now();

    BYTE refusal = refuseStatus;
    if (refusal == 0 && request.adapter >= static_cast<int>(adapters.size())) refusal = SS_INVALID_HA;
    if (refusal != 0) {
        request.refused = true;
        srb->SRB_Status = refusal;
        traceRequest(request, Hex8(refusal));
        return refusal;
    }

    srb->SRB_Status = SS_PENDING;
    const AspiAdapter& adapter = adapters[request.adapter];
    auto found = adapter.targets.find(request.target);
    std::uint64_t id = nextRequest_++;
    std::uint64_t duration = kNoDeviceMs;
    if (srb->SRB_Lun != 0 || found == adapter.targets.end() || found->second == nullptr) {
        request.noDevice = true;
    } else {
        // The device works on a copy: what it reads reaches the program's
        // buffer only when the request ends.
        request.staging.assign(request.length, 0);
        DataDirection direction = DirectionOf(request.flags);
        if (direction == DataDirection::Out && request.buffer != nullptr && request.length != 0) {
            std::memcpy(request.staging.data(), request.buffer, request.length);
        }
        ScsiCommand command{request.cdb, direction, request.staging.data(), request.length};
        request.outcome = found->second->execute(command, pc_.clock.now());
        request.neverEnds = request.outcome.neverCompletes;
        duration = request.outcome.durationMs;
    }
    if (!request.neverEnds) request.action = pc_.clock.schedule(duration, [this, id] { complete(id); });
    pending_.emplace(id, std::move(request));
    return SS_PENDING;
}

void AspiLayer::complete(std::uint64_t id) {
    auto it = pending_.find(id);
    if (it == pending_.end()) return;
    Request& request = it->second;
    SRB_ExecSCSICmd* srb = request.block;
    if (request.noDevice) {
        srb->SRB_HaStat = kHostSelectionTimeout;
        end(id, SS_NO_DEVICE);
        return;
    }
    const ScsiOutcome& outcome = request.outcome;
    if (DirectionOf(request.flags) == DataDirection::In && request.buffer != nullptr) {
        std::uint32_t moved = std::min(outcome.transferred, request.length);
        if (moved != 0) std::memcpy(request.buffer, request.staging.data(), moved);
    }
    srb->SRB_HaStat = 0;
    srb->SRB_TargStat = outcome.status;
    if (outcome.status == kStatusGood) {
        end(id, SS_COMP);
        return;
    }
    if (outcome.status == kStatusCheckCondition) {
        std::size_t room = std::min<std::size_t>(srb->SRB_SenseLen, sizeof srb->SenseArea);
        std::size_t count = std::min(room, outcome.sense.size());
        if (count != 0) std::memcpy(srb->SenseArea, outcome.sense.data(), count);
    }
    end(id, SS_ERR);
}

void AspiLayer::end(std::uint64_t id, BYTE status) {
    auto it = pending_.find(id);
    Request request = std::move(it->second);
    pending_.erase(it);
    request.block->SRB_Status = status;
    std::string text = Hex8(status);
    if (status == SS_ERR && request.outcome.status == kStatusCheckCondition &&
        request.outcome.sense.size() >= 14) {
        const auto& sense = request.outcome.sense;
        char key[16];
        std::snprintf(key, sizeof key, " sense=%02x/%02x/%02x", sense[2], sense[12], sense[13]);
        text += key;
    }
    traceRequest(request, text);
    if (request.event != nullptr) pc_.setEvent(request.event);
}

DWORD AspiLayer::abort(SRB_Abort* srb) {
    std::string line = "aspi abort ha=" + std::to_string(srb->SRB_HaId) + " -> ";
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const auto& entry) {
        return static_cast<void*>(entry.second.block) == srb->SRB_ToAbort;
    });
    if (it == pending_.end()) {
        srb->SRB_Status = SS_ABORT_FAIL;
        pc_.trace.add(line + Hex8(SS_ABORT_FAIL));
        return SS_ABORT_FAIL;
    }
    srb->SRB_Status = SS_COMP;
    if (abortIgnored) {
        pc_.trace.add(line + Hex8(SS_COMP) + " ignored");
        return SS_COMP;
    }
    pc_.trace.add(line + Hex8(SS_COMP));
    if (it->second.action != 0) pc_.clock.cancel(it->second.action);
    end(it->first, SS_ABORTED);
    return SS_COMP;
}

void AspiLayer::noteWait(HANDLE event, DWORD milliseconds) {
    if (event == nullptr || milliseconds == 0) return;
    for (auto& [id, request] : pending_) {
        if (request.event == event && !request.waitLimit) request.waitLimit = milliseconds;
    }
}

void AspiLayer::traceRequest(const Request& request, const std::string& status) const {
    std::string mode;
    std::string timeout;
    if ((request.flags & SRB_EVENT_NOTIFY) == 0) {
        mode = "polled";
        timeout = "polled";
    } else if (request.refused) {
        mode = "event";
        timeout = "none";
    } else if (request.waitLimit) {
        mode = "event";
        timeout = *request.waitLimit == INFINITE ? "INFINITE" : std::to_string(*request.waitLimit) + "ms";
    } else {
        // Nobody waited on its event before it ended: posted without waiting.
        mode = "deferred";
        timeout = "none";
    }
    pc_.trace.add("scsi aspi ha=" + std::to_string(request.adapter) + " id=" +
                  std::to_string(request.target) + " cdb=" +
                  HexBytes(request.cdb.data(), request.cdb.size()) + " dir=" +
                  DirectionName(request.flags) + " len=" + std::to_string(request.length) +
                  " timeout=" + timeout + " mode=" + mode + " status=" + status);
}

void AspiLayer::tracePending() {
    for (const auto& [id, request] : pending_) traceRequest(request, "pending");
}

bool AspiLayer::polledForever() const {
    return std::any_of(pending_.begin(), pending_.end(), [&](const auto& entry) {
        const Request& request = entry.second;
        return request.neverEnds && (request.flags & SRB_EVENT_NOTIFY) == 0 &&
               pc_.clock.now() - request.sentAt >= kPolledForeverMs;
    });
}

}  // namespace kambio::sim
