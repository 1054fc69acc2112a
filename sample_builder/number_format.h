#pragma once
// Doubles written exactly as an output stream's default format writes them ("%.6g"):
// 400, 0.25, -3.5, 1.23457e+06, -0.

#include <string>

// Longest text formatDouble writes ("-1.23457e-308" and the like).
constexpr int kMaxFormattedDouble = 32;

// Writes value at out (room for kMaxFormattedDouble chars); returns the end of the text.
char* formatDouble(char* out, double value);

std::string formatDouble(double value);
