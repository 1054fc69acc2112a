#pragma once
// A status line on standard error for a person watching a long run: rewritten in place
// ("\r"), cut to the terminal's width, and removed before anything else is written and when
// the work ends. Nothing at all is written when standard error is not a terminal, so logs,
// pipes and tests see exactly the program's lines. Safe to call from several threads.

#include <string>

namespace progress {

// Whether standard error is a terminal (asked once).
bool enabled();

// True when the line is due for an update: enabled, and a tenth of a second has passed since
// the last one. Lets a loop skip building the text most of the time.
bool due();

// Shows text as the status line (when enabled).
void show(const std::string& text);

// Removes the status line, if one is shown.
void clear();

// Writes line and a newline to standard error, as the program always did; a status line
// shown at the time is removed first and drawn again after it.
void printLine(const std::string& line);

}  // namespace progress
