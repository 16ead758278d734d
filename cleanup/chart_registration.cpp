#include "app/install_steps.h"

namespace kelvane {

// The chart control is not registered yet.
void InstallSteps::RegisterChartServer(InstallerDialog&) {}

}  // namespace kelvane
