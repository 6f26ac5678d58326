// A virtual drive described in JSON (docs/virtual-drive.md).
#pragma once

#include <memory>

#include <nlohmann/json.hpp>

#include "virtual_drive.h"

namespace kambio::sim {

// Builds the drive a JSON object describes. Throws std::runtime_error whose
// message names the offending key (e.g. `"faults"[1]."sense"`), also for a
// key it does not know, so that a misspelt key is not silently ignored.
VirtualDriveConfig LoadVirtualDriveConfig(const nlohmann::json& drive);
std::shared_ptr<VirtualDrive> LoadVirtualDrive(const nlohmann::json& drive);

}  // namespace kambio::sim
