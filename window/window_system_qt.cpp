// The Qt application object, made once by the program entry and kept until the process ends.
#include <QApplication>

#include "window/gadgets.h"

int start_window_system(int& argc, char** argv) {
    if (QCoreApplication::instance()) return 1;
    new QApplication(argc, argv);  // lives as long as the process; program end never returns
    return 1;
}
