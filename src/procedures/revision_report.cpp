#include "procedures/revision_report.h"

namespace kambio {

RevisionState revision;

void ResetRevisionState() { revision = RevisionState{}; }

}  // namespace kambio
