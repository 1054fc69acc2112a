#pragma once

#include <cstddef>
#include <string>

// Writes size bytes as the whole content of fileName. A regular file, or a new name, is
// written to a temporary file beside it, flushed to disk and renamed over it, so a full disk
// or any other failure part-way leaves the previous file as it was; symbolic links are
// followed to the file they name. A FIFO or device is written in place, and a name that is
// the program's own redirected standard output or error is written where that output stands.
// A SIGTERM, SIGHUP or SIGINT while the temporary file exists removes it, then ends the
// process as that signal does (a signal that is ignored, as under nohup, stays ignored).
// Fatal "Error opening file: " + fileName when the file cannot be created, "Error writing
// file: " + fileName when a write, the flush or the rename fails; both with status -1. Refused
// the same way, with the reason after the name, before anything is written: a file the user
// could not write (the rename would ignore its permissions), and a symbolic link in a sticky
// world-writable folder such as /tmp that belongs to neither the user nor the folder's owner
// (the kernel's protected-symlinks rule, which a program resolving links itself escapes).
void replaceFile(const std::string& fileName, const char* data, size_t size);

// Every check replaceFile makes before it writes, with the same messages, creating and
// changing nothing: for a file that is written only at the end of a long run.
void checkReplaceable(const std::string& fileName);
// The same checks, answered: true when checkReplaceable would let fileName pass.
bool isReplaceable(const std::string& fileName);

// True when both names exist and are the same regular file (same device and inode, so links
// and ".." paths count). A terminal or a pipe named twice is a stream, which no write destroys.
bool sameFile(const std::string& a, const std::string& b);
