#pragma once

#include <string>

// The one way ombra fails: the message and a newline on standard error, a flush,
// then exit(status). The shell sees status modulo 256 (-1 is 255, 973 is 205).
[[noreturn]] void fatal(const std::string& message, int status);
