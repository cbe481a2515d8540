// The window's two calls and the tone output answered by doing nothing, for runs that have no
// window and must not sound or block: the status text goes nowhere, every box is answered OK at
// once, a tone takes no time.
#pragma once

void install_quiet_calls();
// The program's own calls and tone output again.
void remove_quiet_calls();
