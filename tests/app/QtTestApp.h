// One QApplication for a GoogleTest executable (offscreen), made on first use.
#pragma once

#include <QApplication>

namespace velmora::test {

inline QApplication& qtApp() {
    // Run directly (outside ctest) on a machine without a display, still headless.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "velmora-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv); // lives to the end of the process
    return *app;
}

// A first member or base that makes sure the application exists before any widget member.
struct QtAppFirst {
    QtAppFirst() { qtApp(); }
};

} // namespace velmora::test
