#pragma once

// Options of the form --name VALUE or --name=VALUE, checked against a table before anything
// runs, so that a mistyped argument costs nothing and never replaces a result file.

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// A command line that cannot be run as written; what() says why, for the user.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class OptionKind {
  Integer,  // a whole number of at least minimum
  Trainer,  // a network type: 0 to 7 or a trainer name (see trainerType)
  Text,     // a file name or other text, not empty
};

struct OptionRule {
  const char* name;  // without the leading "--"
  OptionKind kind;
  const char* defaultValue;  // nullptr: the option must be given
  int minimum;               // Integer only
  const char* help;
};

// The values of one command line, every option of the table present (given or default).
class ParsedOptions {
 public:
  int integer(const std::string& name) const;
  int trainer(const std::string& name) const;  // the type number
  const std::string& text(const std::string& name) const;

  std::map<std::string, std::string> values;
};

// Parses args (the words after the subcommand) against rules. Throws UsageError for an
// unknown or repeated option, a missing value or required option, a stray argument, a
// number that is not a whole number in int range or lies below its minimum, or a trainer
// that is not in the table.
ParsedOptions parseCommandOptions(const std::vector<std::string>& args,
                                  const std::vector<OptionRule>& rules);

// True when args asks for help (--help or -h anywhere).
bool asksForHelp(const std::vector<std::string>& args);

// One line per option: "--name VALUE   help (default: x)" or "(required)".
std::string optionsHelp(const std::vector<OptionRule>& rules);

// The network type number of a trainer: "0" to "7", or one of ombra's trainer names (the
// trainer table). Throws UsageError for anything else.
int trainerType(const std::string& text);
// The ombra trainer name of a type number 0 to 7.
const char* trainerName(int type);
