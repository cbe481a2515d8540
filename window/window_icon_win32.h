// The program's own icon on Win32, shown in the title bar and the task bar.
#pragma once

#include <windows.h>

// Icon resource 1 of the executable (app/kelvastats.rc); Windows' generic program icon for a
// program built without it, such as a test.
HICON application_icon();
