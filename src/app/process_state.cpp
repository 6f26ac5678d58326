#include "app/process_state.h"

#include "app/catalogue.h"
#include "app/run_state.h"
#include "commands/drive_info.h"
#include "commands/standard_commands.h"
#include "image/binary_image.h"
#include "procedures/revision_report.h"
#include "transport/discovery.h"
#include "transport/platform_setup.h"
#include "transport/scsi_request.h"
#include "transport/target_table.h"
#include "transport/timing.h"
#include "ui/console.h"

namespace kambio {

RunState run;
ImageState image;

void ResetProcessState() {
    run = RunState{};
    ResetSharedMessageText();
    ResetCatalogueState();
    ResetTransportState();
    ResetScsiState();
    ResetDiscoveryState();
    ResetTimingState();
    ResetTargetTableState();
    ResetCommandState();
    ResetDriveInfoState();
    image = ImageState{};
    ResetRevisionState();
}

}  // namespace kambio
