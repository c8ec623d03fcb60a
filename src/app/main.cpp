#include "app/CKestrumApp.h"
#include "app/WizardRoutes.h"

#include <QApplication>

int main(int argc, char** argv) {
    // The instance lock is taken before the toolkit is set up.
    velmora::CKestrumApp app;
    QApplication qt(argc, argv);
    std::vector<std::string> images;
    QStringList args = QCoreApplication::arguments(); // without the toolkit's own options
    for (int i = 1; i < args.size(); ++i)
        images.push_back(args[i].toStdString());
    app.setImageArguments(std::move(images));
    velmora::installWizardRoutes();
    return app.run();
}
