#include "experiments/command_line.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "trainer_table/trainer_table.h"

namespace {

const OptionRule* findRule(const std::vector<OptionRule>& rules, const std::string& name) {
  for (const OptionRule& rule : rules) {
    if (name == rule.name) return &rule;
  }
  return nullptr;
}

// The whole text must be a decimal integer that fits an int.
bool parseInteger(const std::string& text, int& value) {
  // strtoll would skip leading blanks; a value is taken exactly as written.
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  value = static_cast<int>(parsed);
  return true;
}

void checkValue(const OptionRule& rule, const std::string& value) {
  const std::string option = std::string("--") + rule.name;
  switch (rule.kind) {
    case OptionKind::Integer: {
      int number = 0;
      if (!parseInteger(value, number)) {
        throw UsageError(option + ": '" + value + "' is not a whole number");
      }
      if (number < rule.minimum) {
        throw UsageError(option + ": must be at least " + std::to_string(rule.minimum) + ", got " +
                         value);
      }
      break;
    }
    case OptionKind::Trainer:
      trainerType(value);
      break;
    case OptionKind::Text:
      if (value.empty()) throw UsageError(option + ": needs a value that is not empty");
      break;
  }
}

}  // namespace

int ParsedOptions::integer(const std::string& name) const {
  int value = 0;
  parseInteger(values.at(name), value);
  return value;
}

int ParsedOptions::trainer(const std::string& name) const { return trainerType(values.at(name)); }

const std::string& ParsedOptions::text(const std::string& name) const { return values.at(name); }

ParsedOptions parseCommandOptions(const std::vector<std::string>& args,
                                  const std::vector<OptionRule>& rules) {
  ParsedOptions parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word.compare(0, 2, "--") != 0 || word.size() == 2) {
      throw UsageError("unexpected argument '" + word + "'");
    }
    const size_t equals = word.find('=');
    const std::string name = word.substr(2, equals == std::string::npos ? equals : equals - 2);
    const OptionRule* rule = findRule(rules, name);
    if (rule == nullptr) throw UsageError("unknown option --" + name);
    if (parsed.values.count(name) != 0) throw UsageError("--" + name + " given twice");
    std::string value;
    if (equals != std::string::npos) {
      value = word.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      throw UsageError("--" + name + " needs a value");
    }
    checkValue(*rule, value);
    parsed.values[name] = value;
  }
  for (const OptionRule& rule : rules) {
    if (parsed.values.count(rule.name) != 0) continue;
    if (rule.defaultValue == nullptr) {
      throw UsageError(std::string("missing required option --") + rule.name);
    }
    parsed.values[rule.name] = rule.defaultValue;
  }
  return parsed;
}

bool asksForHelp(const std::vector<std::string>& args) {
  for (const std::string& word : args) {
    if (word == "--help" || word == "-h") return true;
  }
  return false;
}

std::string optionsHelp(const std::vector<OptionRule>& rules) {
  std::ostringstream text;
  for (const OptionRule& rule : rules) {
    std::string left = std::string("  --") + rule.name;
    switch (rule.kind) {
      case OptionKind::Integer:
        left += " N";
        break;
      case OptionKind::Trainer:
        left += " TYPE";
        break;
      case OptionKind::Text:
        left += " TEXT";
        break;
    }
    if (left.size() < 26)
      left.resize(26, ' ');
    else
      left += "  ";
    text << left << rule.help;
    if (rule.defaultValue == nullptr) {
      text << " (required)";
    } else {
      text << " (default: " << rule.defaultValue << ")";
    }
    text << "\n";
  }
  return text.str();
}

int trainerType(const std::string& text) {
  int number = 0;
  if (parseInteger(text, number) && trainerOfType(number) != nullptr) return number;
  if (const TrainerKind* trainer = trainerNamed(text)) return trainer->timingsType;
  std::string names;
  for (int type = 0; type < kTrainerTypeCount; ++type) {
    names += std::string(names.empty() ? "" : ", ") + trainerName(type);
  }
  throw UsageError("--type: '" + text + "' is neither a type number 0 to " +
                   std::to_string(kTrainerTypeCount - 1) + " nor a trainer (" + names + ")");
}

const char* trainerName(int type) { return trainerOfType(type)->name; }
