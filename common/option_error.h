#pragma once
// The option parser's message for a refused command line, safe for any argument.

#include <boost/program_options/errors.hpp>
#include <string>

// The parser's own words for error (what() would give them), except that it never hangs: the
// parser replaces each %placeholder% of its template until none is left, so an argument that
// holds its own placeholder ("-p%value%") would be substituted forever. The arguments' percent
// signs are shielded while the text is built and put back after.
std::string optionErrorText(boost::program_options::error& error);
