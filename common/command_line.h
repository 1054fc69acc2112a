#pragma once
// Reading a command line with the option parser, and its message for a refused one, safe for
// any argument.

#include <boost/program_options/errors.hpp>
#include <boost/program_options/options_description.hpp>
#include <boost/program_options/variables_map.hpp>
#include <string>
#include <vector>

// Reads the options of `all` and the file names (the positional "files") from argv, exact
// option names only (a prefix is not guessed). False for --help or --version, before required
// values are checked; a refused command line throws std::runtime_error with the parser's words.
bool readExactOptions(int argc, const char* const* argv,
                      const boost::program_options::options_description& all,
                      boost::program_options::variables_map& values);

// The file names readExactOptions read, in order; none when none were given.
std::vector<std::string> fileNames(const boost::program_options::variables_map& values);

// The parser's own words for error (what() would give them), except that it never hangs: the
// parser replaces each %placeholder% of its template until none is left, so an argument that
// holds its own placeholder ("-p%value%") would be substituted forever. The arguments' percent
// signs are shielded while the text is built and put back after.
std::string optionErrorText(boost::program_options::error& error);
