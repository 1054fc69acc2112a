#pragma once

#include <cstddef>
#include <string>

// Writes size bytes as the whole content of fileName. A regular file, or a new name, is
// written to a temporary file beside it, flushed to disk and renamed over it, so a full disk
// or any other failure part-way leaves the previous file as it was; symbolic links are
// followed to the file they name. A FIFO or device is written in place, and a name that is
// the program's own redirected standard output or error is written where that output stands.
// Fatal "Error opening file: " + fileName when the file cannot be created, "Error writing
// file: " + fileName when a write, the flush or the rename fails; both with status -1.
void replaceFile(const std::string& fileName, const char* data, size_t size);
