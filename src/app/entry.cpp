#include "app/entry.h"

#include "app/catalogue.h"
#include "app/confirm.h"
#include "app/run_state.h"
#include "commands/standard_commands.h"
#include "procedures/update_procedures.h"
#include "transport/discovery.h"
#include "transport/platform_setup.h"
#include "transport/platform/platform.h"
#include "transport/timing.h"
#include "ui/messages.h"

namespace kambio {

namespace {

constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 9;
constexpr char kVersionLetter = 'A';
constexpr DWORD kPauseAfterSuccessMs = 2000;

void PrintBanner() {
    FormatShared("\n/// DVD-ROM/DVD-RW Firmware Update Utility Ver%1d.%02d%c\n", kVersionMajor,
                 kVersionMinor, kVersionLetter);
    PrintText(SharedMessageText);
}

// The loop identifies a drive the way the last identification of the run
// allows: by INQUIRY alone until a two-part type code has been seen.
std::int32_t IdentifyForConfirmation() {
    if ((currentTarget.typeCode & 0xFF00) == kTwoPartFamily) return IdentifyTarget();
    return Inquiry(run.currentIndex, currentTarget.inquiryData.bytes);
}

// The procedure family comes from the catalogue's first entry, not from the
// drive: the catalogue carries firmware for one family at a time.
std::int32_t RunUpdateProcedure() {
    std::int32_t family = firmwareCatalogue.entries[0].typeCode & kFamilyMask;
    if (family == kLegacyFamily) return RunLegacyUpdate();
    return RunTwoPartUpdate();
}

int EndRun(int exitCode) {
    TearDownTransport();
    return exitCode;
}

}  // namespace

int KambioMain() {
    run.autoUpdateAll = 1;
    run.deferredCompletion = 0;
    run.ideAdapterCount = 0;
    run.autoInsertCount = 0;

    PrintBanner();
    run.oemCodePage = static_cast<std::int32_t>(Host().GetOEMCP());
    BuildCatalogue();
    DetectPlatform();

    if (DiscoverTargets() == 0) {
        ShowMessage(28, kStyleInformation);
        return EndRun(kExitAbandoned);
    }

    if (ShowMessage(31, kStyleYesNo) == IDNO) run.autoUpdateAll = 0;

    run.successCount = 0;
    for (std::int32_t i = 0; i < run.targetCount; ++i) {
        run.currentIndex = i;
        if (run.autoUpdateAll == 0) {
            if (IdentifyForConfirmation() != 0) continue;
            if (ConfirmUpdate() == IDNO) {
                ShowMessage(33, kStyleError);
                continue;
            }
        }
        ShowMessage(34, kStyleConsole);
        std::int32_t result = RunUpdateProcedure();
        if (result == 0) {
            ++run.successCount;
            Delay(kPauseAfterSuccessMs);
        } else if (result == -1) {
            ShowMessage(36, kStyleWarning);
            return EndRun(kExitAbandoned);
        }
    }

    ShowMessage(run.successCount == run.targetCount ? 35 : 58, kStyleInformation);
    return EndRun(kExitCompleted);
}

}  // namespace kambio
