#pragma once
// The input card beside a network (NETWORK.card, card/input_card.h): what ombra-score needs to
// rebuild the network's inputs from a workload log. The training data file's card, as tallis
// wrote it, plus the calibration of the network's output.

#include <stdexcept>
#include <string>
#include <vector>

#include "card/calibration.h"
#include "sample_builder/attribute_table.h"
#include "sample_builder/decision_history.h"

// One input column of the network, as its card names it.
struct InputColumn {
  const AttributeRow* row = nullptr;
  int user = -1;  // a one-hot user column ("input uID 17"): the user id it is 1 for
};

struct NetworkCard {
  std::string path;
  DecisionTime when = DecisionTime::log;
  std::vector<InputColumn> inputs;
  int outputs = 0;
  Calibration calibration;  // of output 1; none when the card has none
};

// Why a card cannot be used: the message names the card (and the network).
class CardError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The card's name for a network: NETWORK.card.
std::string networkCardFileOf(const std::string& networkFile);

// Reads the card and checks it against a network of inputCount inputs and outputCount outputs.
// Throws CardError for a missing or unreadable file, one that is not a versioned card (an
// older columns file says nothing of when its attributes were taken), a damaged card, a key
// this program does not know (a newer tallis), a key with no value at the card's decision
// time, and a card whose column counts are not the network's.
NetworkCard readNetworkCard(const std::string& cardFile, const std::string& networkFile,
                            int inputCount, int outputCount);

// The same from the card's text (tests).
NetworkCard parseNetworkCard(const std::string& text, const std::string& cardFile,
                             const std::string& networkFile, int inputCount, int outputCount);
