#pragma once
// Small readers of text the programs tell files apart by.

#include <string>
#include <vector>

// The lines of text, without their line feeds and a carriage return before one.
std::vector<std::string> linesOf(const std::string& text);

// How many numbers a line holds; -1 when anything else stands on it.
int numbersOnLine(const std::string& line);
