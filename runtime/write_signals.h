// Signals that a failed write would otherwise raise, for every program that writes logs.
#pragma once

// A write to a connection the router has closed, or a log that reaches the file-size limit, then
// fails as a return value instead of ending the program.
void ignore_write_signals();
