// Program end: the one way the program ends, from the main thread (Quit, the close box) or from
// the worker (after a fatal box). Stops the other threads, writes out what the logs still owe,
// closes every file, takes down the window and exits with status 0.
#pragma once

// Does not return, unless a test replaced the process exit with one that returns.
void program_end();

// The process exit that program_end calls last. The default flushes the C streams and ends the
// process at once, from whichever thread, without tearing down Qt or static objects.
using ProcessExit = void (*)(int status);
void set_process_exit(ProcessExit exit);
