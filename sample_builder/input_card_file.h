#pragma once
// The input card beside a training data file (card/input_card.h): "<file>.columns" beside the
// file really written, its links resolved, and only beside a regular file (never beside a
// device, a FIFO or a standard stream, where it would land in /dev or describe nothing).

#include <string>
#include <vector>

#include "card/input_card.h"

// The card's name for the training data file trainingDataFile, or "" when it gets none.
std::string cardFileOf(const std::string& trainingDataFile);

// Every check the card's writer makes, before any work: throws OutputFileError (tallis's
// words) when cardFile could not be written.
void checkCardFile(const std::string& cardFile);

// Writes the card of the training data file just written (its columns, its stamp and the
// decision-time setting asOf: "log", "submit" or "start") through a temporary file. Throws
// OutputFileError; on failure an earlier card is removed, so that old names never describe
// new data.
void writeCardFile(const std::string& cardFile, const std::vector<std::string>& columns,
                   const DataStamp& stamp, const std::string& asOf);
