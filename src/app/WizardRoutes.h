// Connects the recovery mode page to the pages that follow it. Kept apart so that tests of
// the early pages can run without the later ones.
#pragma once

namespace velmora {

// Standard and Deep lead to the scan results page.
void installWizardRoutes();

} // namespace velmora
