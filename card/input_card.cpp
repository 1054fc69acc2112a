#include "card/input_card.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "common/text_lines.h"

namespace {

const char kMagic[] = "input card ";

std::string firstWord(const std::string& line) {
  std::istringstream words(line);
  std::string word;
  words >> word;
  return word;
}

bool isDigits(const std::string& text, size_t maxLength) {
  return !text.empty() && text.size() <= maxLength &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

std::string hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

bool parseStamp(const std::string& line, DataStamp& stamp) {
  std::istringstream words(line);
  std::string keyword, bytes, crc, extra;
  if (!(words >> keyword >> bytes >> crc) || (words >> extra)) return false;
  if (!isDigits(bytes, 19) || crc.size() != 8 ||
      crc.find_first_not_of("0123456789abcdef") != std::string::npos) {
    return false;
  }
  stamp.bytes = std::stoull(bytes);
  stamp.crc32 = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));
  return true;
}

std::string at(size_t line, const std::string& what) {
  return "line " + std::to_string(line + 1) + ": " + what;
}

}  // namespace

DataStamp stampOf(const char* data, size_t size) {
  DataStamp stamp;
  stamp.bytes = size;
  stamp.crc32 = static_cast<uint32_t>(
      crc32_z(crc32_z(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data), size));
  return stamp;
}

std::string describeStamp(const DataStamp& stamp) {
  return std::to_string(stamp.bytes) + " bytes, crc32 " + hex8(stamp.crc32);
}

std::string formatInputCard(const InputCard& card) {
  std::string text = kMagic + std::to_string(kInputCardVersion) + "\n";
  text += "as-of " + card.asOf + "\n";
  text += "data " + std::to_string(card.data.bytes) + " " + hex8(card.data.crc32) + "\n";
  for (const std::string& line : card.columns) text += line + "\n";
  for (const std::string& line : card.extras) text += line + "\n";
  return text;
}

std::string parseInputCard(const std::string& text, InputCard& card,
                           const std::vector<std::string>& extraItems) {
  card = InputCard();
  const std::vector<std::string> lines = linesOf(text);
  size_t next = 0;
  card.versioned = !lines.empty() && lines[0].rfind(kMagic, 0) == 0;
  if (card.versioned) {
    const std::string version = lines[0].substr(sizeof kMagic - 1);
    if (!isDigits(version, 9)) return at(0, "not a card format version: '" + version + "'");
    if (std::stoi(version) != kInputCardVersion) {
      return "a card of format " + version + ", newer than this program reads (" +
             std::to_string(kInputCardVersion) + ")";
    }
    if (lines.size() < 3) return "the card ends before its as-of and data lines";
    std::istringstream asOf(lines[1]);
    std::string keyword, value, extra;
    if (!(asOf >> keyword >> value) || keyword != "as-of" || (asOf >> extra) ||
        (value != "log" && value != "submit" && value != "start")) {
      return at(1, "expected 'as-of log', 'as-of submit' or 'as-of start'");
    }
    card.asOf = value;
    if (firstWord(lines[2]) != "data" || !parseStamp(lines[2], card.data)) {
      return at(2, "expected 'data <bytes> <crc32>'");
    }
    next = 3;
  }
  for (size_t k = next; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    const std::string word = firstWord(line);
    if (word == "input" || word == "output") {
      if (!card.extras.empty()) return at(k, "a column line after the other items");
      if (!isColumnLine(line)) return at(k, "not a column name: '" + line + "'");
      card.columns.push_back(line);
    } else if (card.versioned &&
               std::find(extraItems.begin(), extraItems.end(), word) != extraItems.end()) {
      card.extras.push_back(line);
    } else if (card.versioned) {
      return at(k, "unknown item '" + word + "' (a newer writer's card?)");
    } else {
      return at(k, "not a column name: '" + line + "'");
    }
  }
  return "";
}

bool isColumnLine(const std::string& line) {
  std::istringstream words(line);
  std::string direction, key, detail, extra;
  if (!(words >> direction >> key)) return false;
  words >> detail;
  return !(words >> extra) && (direction == "input" || direction == "output");
}
