// The way the order side changes its shared files (order databases, the
// pick-up registry): read whole, changed in memory, written back by an
// atomic replace while the caller holds the file's lock, so a request that
// fails or is killed half-way leaves the old file complete.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The lock companion of a shared file.
std::string record_lock_path(const std::string &path);

// Reads the file whole.  A missing file reads as empty with `existed`
// false; false when the file exists but cannot be read.
bool read_record_file(const std::string &path, std::string &contents, bool &existed);

// The lines of `contents`, each with its line feed (the last may have
// none), however long they are.
std::vector<std::string_view> whole_lines(std::string_view contents);

// Appends `addition` to the file (created when missing, with the store's
// file mode) by replacing it atomically.  false (errno set) when the old
// file cannot be read or the new one cannot be written.
bool append_record_file(const std::string &path, std::string_view addition);
