#pragma once
// The input attributes of a training data file, named from the columns file that tallis
// writes beside it (see sample_builder/column_names.h: "input KEY" or "input KEY DETAIL" per
// column, inputs first, then "output ..." lines). Without names every column is its own attribute,
// called "input 1", "input 2", ...

#include <string>
#include <vector>

#include "card/input_card.h"

// One attribute: a single column, or the columns of a several-valued attribute together
// (all one-hot user columns form one).
struct ColumnGroup {
  std::string name;
  std::string key;           // the attribute key, empty without names
  std::vector<int> columns;  // input columns, from 0
};

struct InputAttributes {
  std::vector<ColumnGroup> groups;
  std::string source;   // what named them, for the report
  std::string refusal;  // why a file the user named cannot name these columns ("" if it can)
  std::string asOf;     // when the attributes were taken (a card's as-of); "" when unknown
};

// Reads the names of inputSize + outputSize columns from fileName: an input card
// (card/input_card.h) or an older columns file, the column lines alone. Only a regular file is
// read, and only as far as such names could reach. A missing file gives numbered columns; a
// file that cannot be read, that does not describe these columns, or a card whose data stamp
// is not that of dataFile (another run's data, or data changed since) gives numbered columns
// and a warning on standard error naming both files. `required`: the user named the file, so a
// missing one is reported too, and a card that does not belong to the data, or that this
// program cannot read, is refused (refusal).
InputAttributes readInputAttributes(const std::string& fileName, int inputSize, int outputSize,
                                    bool required, const std::string& dataFile,
                                    const DataStamp& dataStamp);

// The attributes from the lines of a columns file (the same rules, no warnings); an empty
// result when the lines do not describe the sizes.
std::vector<ColumnGroup> groupColumns(const std::vector<std::string>& lines, int inputSize,
                                      int outputSize);
std::vector<ColumnGroup> numberedColumns(int inputSize);

// The input column of a one-column attribute with the given key (the first), or -1.
int findColumn(const std::vector<ColumnGroup>& groups, const std::string& key);
