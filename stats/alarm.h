// The alarm: four tones when the CRC errors of one interval pass the user's threshold.
#pragma once

// Plays 1000, 900, 1000 and 900 Hz for 300 ms each, about 1.2 s in all; ends early on a stop
// request for the calling thread. With an alarm output set, calls that instead.
void sound_alarm();

// What sounding the alarm does instead of the tones, for a program with no speaker to sound (the
// headless collector says it on the console). Called on the worker thread, after the statistics
// step has set settings.delta_crc. Null (the default) restores the tones.
using AlarmOutput = void (*)();
void set_alarm_output(AlarmOutput output);
