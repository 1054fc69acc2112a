#include "common/command_line.h"

#include <algorithm>
#include <boost/program_options/parsers.hpp>
#include <boost/program_options/positional_options.hpp>
#include <map>
#include <stdexcept>

namespace {

using Named = boost::program_options::error_with_option_name;
using Substitutions = std::map<std::string, std::string>;

// The arguments an error quotes, and the parser's own fallback texts, are protected members;
// a derived class may name them.
struct Quoted : Named {
  static const Substitutions& of(const Named& error) { return error.*(&Quoted::m_substitutions); }
  static const std::map<std::string, string_pair>& fallbacks(const Named& error) {
    return error.*(&Quoted::m_substitution_defaults);
  }
};

// A byte that occurs nowhere in the texts the message is built from; 0 when every byte does.
char unusedByte(const Named& error, const Substitutions& quoted) {
  bool used[256] = {};
  auto mark = [&used](const std::string& s) {
    for (unsigned char c : s) used[c] = true;
  };
  mark(error.m_error_template);
  for (const auto& entry : quoted) mark(entry.second);
  for (const auto& entry : Quoted::fallbacks(error)) {
    mark(entry.second.first);
    mark(entry.second.second);
  }
  for (int c = 1; c < 256; ++c) {
    if (c != '%' && !used[c]) return static_cast<char>(c);
  }
  return 0;
}

}  // namespace

std::string optionErrorText(boost::program_options::error& error) {
  auto* named = dynamic_cast<Named*>(&error);
  if (named == nullptr) return error.what();
  const Substitutions quoted = Quoted::of(*named);
  // 0: a pathological argument that holds every byte; '?' then stands for its percent signs.
  const char shield = unusedByte(*named, quoted);
  for (const auto& entry : quoted) {
    std::string value = entry.second;
    std::replace(value.begin(), value.end(), '%', shield != 0 ? shield : '?');
    named->set_substitute(entry.first, value);
  }
  std::string text = named->what();
  if (shield != 0) std::replace(text.begin(), text.end(), shield, '%');
  return text;
}

bool readExactOptions(int argc, const char* const* argv,
                      const boost::program_options::options_description& all,
                      boost::program_options::variables_map& values) {
  namespace po = boost::program_options;
  po::positional_options_description positional;
  positional.add("files", -1);
  try {
    const int style =
        po::command_line_style::default_style & ~po::command_line_style::allow_guessing;
    po::store(
        po::command_line_parser(argc, argv).options(all).positional(positional).style(style).run(),
        values);
    if (values.count("help") || values.count("version")) return false;
    po::notify(values);
  } catch (po::error& error) {
    throw std::runtime_error(optionErrorText(error));
  }
  return true;
}

std::vector<std::string> fileNames(const boost::program_options::variables_map& values) {
  if (values.count("files") == 0) return {};
  return values["files"].as<std::vector<std::string>>();
}
