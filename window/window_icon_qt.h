// The program's own icon, shown in the title bar and the task bar.
#pragma once

#include <QIcon>

// Drawn once, at the sizes window managers ask for, so the program ships no image files.
QIcon application_icon();
