// The status line after each collection (the main window's, or the collector's console line): its
// time and CRC change, and, while log lines are waiting to be written, how many.
#pragma once

#include <string>
#include <string_view>

// Sets field 0 of the status bar to "Collection: " + time + "   DeltaCRC: " + delta, followed by
// pending_lines_status().
void show_collection_status(std::string_view time_stamp, std::string_view delta_crc_text);

// Sets field 0 of the status bar to summary (the line step's "Collection: 17:08   Showtime ..."),
// followed by pending_lines_status(), as show_collection_status does.
void show_collection_summary(std::string_view summary);

// Sets field 0 of the status bar to text (why a cycle ended without its collection), followed by
// pending_lines_status(), so the count of waiting lines stays in sight.
void show_cycle_status(std::string_view text);

// Sets the status line again when pending_lines_status() changed since it was last set (the
// bins step runs after the statistics step has set it).
void refresh_collection_status();

// For each log with lines waiting or lost, in the order statistics log, bins log, line log, tones
// log:
// "   kelvastats.csv not written: 3 pending" (", 5 lost" added once lines were dropped), or
// "   kelvastats.csv: 5 lines lost" once the waiting lines are written. Empty when all is well.
std::string pending_lines_status();

// Forgets the last status line (tests).
void reset_collection_status();
