// The numbered, buffered file layer that both logs are written through. A file number names one
// open file; every operation on a number that is not open does nothing and returns 0. Writes go
// through a 4096-byte buffer per file, so a log line made of many small pieces reaches the disk
// in a few system writes.
#pragma once

#include <cstdint>
#include <string_view>

// Size in bytes; -1 for an empty name or nothing of that name; -2 for a directory. Names are taken
// literally ("*" and "?" are ordinary characters).
std::int64_t file_size(std::string_view name);

// Opens for reading and writing, creating the file when missing; position 0. Non-zero on success.
// A number already open is closed (its buffer written) only after the new open has succeeded.
int open_file(int number, std::string_view name);

// Creates the file empty (truncating an existing one). Non-zero on success.
int create_file(int number, std::string_view name);

// Writes out the buffer, then moves to position. Returns the new position's low 32 bits.
std::int32_t file_seek(int number, std::int64_t position);

// Appends the text's bytes (none for ""); returns the bytes accepted.
std::int32_t write_string(int number, std::string_view text);

// Appends the text's bytes, then CR LF.
std::int32_t write_line(int number, std::string_view text);

// Writes out the buffer, closes the file and frees the number. Returns 1 when every write of this
// file since it was opened reached the disk in full, 0 when one failed or the number was not open.
int close_file(int number);

// The size in bytes of the file open under number, whatever its name now names; -1 when the number
// is not open or the size cannot be had.
std::int64_t open_file_size(int number);

// Writes out the buffer. Returns 1 when every write of this file since it was opened reached the
// file in full, 0 when one failed or the number is not open.
int flush_file(int number);

// Writes out the buffer and cuts the file open under number back to size bytes (a log step takes
// back a line whose write failed half way). Returns 1 on success, 0 on failure.
int truncate_open_file(int number, std::int64_t size);

// Closes every open file as close_file does.
void close_all_files();

// Count of system write calls made by the layer since the program started (for measurements).
std::int64_t file_write_calls();
