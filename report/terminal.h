// Whether standard error is a terminal: the progress display shows only there.
#pragma once

bool stderr_is_terminal();
