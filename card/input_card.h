#pragma once
// The input card: text, one item per line, in this order
//
//   input card 1          format and version: the first line, exactly
//   as-of log             when the attributes were taken: log | submit | start
//   data 18734 0a1b2c3d   the training data file written with it: its size in bytes and the
//                         zlib crc32 of its bytes, 8 lower-case hex digits
//   input rCPU            the column lines, in column order, inputs first: "input KEY",
//   input uID 17          "input uID <user id>" (the user table in one-hot order), "input KEY k"
//   output s              for a several-valued key, then "output KEY"
//
// A reader may accept further items after the columns (a network's card adds "calibration");
// any other item in a card of this version is refused: a newer writer made it. A file whose
// first line is not "input card N" is the older columns file: its column lines alone.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int kInputCardVersion = 1;

// What a card says of the training data file it was written with.
struct DataStamp {
  uint64_t bytes = 0;
  uint32_t crc32 = 0;
  bool operator==(const DataStamp& other) const {
    return bytes == other.bytes && crc32 == other.crc32;
  }
  bool operator!=(const DataStamp& other) const { return !(*this == other); }
};
DataStamp stampOf(const char* data, size_t size);
// "18734 bytes, crc32 0a1b2c3d", for messages.
std::string describeStamp(const DataStamp& stamp);

struct InputCard {
  bool versioned = true;  // false: an older columns file, without as-of and data
  std::string asOf = "log";
  DataStamp data;
  std::vector<std::string> columns;  // "input ..." and "output ..." lines
  std::vector<std::string> extras;   // items a reader asked for, as written
};

// A column line of a card or of an older columns file: "input KEY", "input KEY detail",
// "output KEY".
bool isColumnLine(const std::string& line);

// The text of a card, every line ending with a line feed.
std::string formatInputCard(const InputCard& card);

// Reads a card or an older columns file. extraItems: the further item keywords this reader
// accepts after the columns. Returns "" or what is wrong ("line 4: unknown item 'weights' (a
// newer writer's card?)").
std::string parseInputCard(const std::string& text, InputCard& card,
                           const std::vector<std::string>& extraItems = {});
