#include "app/install_steps.h"

namespace kelvane {

// Nothing of earlier installations is removed yet.
void InstallSteps::RunCleanupPass(InstallerDialog&) {}

}  // namespace kelvane
