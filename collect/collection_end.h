// The end of collecting, the same for every program that runs the worker: no thread left running,
// no line that could be written left unwritten, no file left open.
#pragma once

// Stops every thread of the table but the calling one and waits for them (a log step runs to the
// end of its line first), writes what can be written of the lines waiting for their logs, and
// closes every file. Safe to call once per program, from any thread.
void end_collection();
