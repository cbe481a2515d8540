// The alarm: four tones when the CRC errors of one interval pass the user's threshold.
#pragma once

// Plays 1000, 900, 1000 and 900 Hz for 300 ms each, about 1.2 s in all; ends early on a stop
// request for the calling thread.
void sound_alarm();
