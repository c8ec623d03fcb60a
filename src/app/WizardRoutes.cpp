#include "app/WizardRoutes.h"

#include "app/ParceModeNtfsDlg.h"
#include "app/VolumeScanDlg.h"

namespace velmora {

void installWizardRoutes() {
    ParceModeNtfsDlg::setScanResultsFactory([](ParceModeNtfsDlg& page) -> WizardPage* {
        return new VolumeScanDlg(page.app(), &page, page.selectedVolume(), page.recoveryMode());
    });
}

} // namespace velmora
