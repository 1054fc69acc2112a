#pragma once
// The calibration of a network's output in ombra-evaluate: read from the network's input card
// (NETWORK.card, or --card), or fitted on the validation samples and written, with the
// training data file's card, as the network's card (--write-card), which ombra-score reads.

#include <string>
#include <vector>

#include "card/calibration.h"
#include "card/input_card.h"

struct NetworkCalibration {
  Calibration calibration;  // method none: no calibration
  std::string source;       // for the report: the card it came from, or how it was fitted
};

// The calibration of output (from 1) in the network's card cardFile. Without the file there is
// none; a file that is not a card of a network of these sizes, or that cannot be read, is
// ignored with a warning, unless the user named it (required): then refusal says why.
NetworkCalibration readNetworkCalibration(const std::string& cardFile, int inputs, int outputs,
                                          int output, bool required, std::string& refusal);

// What stands in the way of writing the network's card cardFile, checked before any work: a
// name the writer refuses, or a card that would replace one of the inputs. "" when nothing.
std::string writeCardProblem(const std::string& cardFile, const std::vector<std::string>& inputs);

// The training data file's card, to be the network's card: it must be a card (not an older
// columns file) written with this very data and naming its columns. Empty refusal when it is.
InputCard dataCardFor(const std::string& dataCardFile, const std::string& dataFile,
                      const DataStamp& stamp, int inputs, int outputs, std::string& refusal);

// Fits the calibration of output (from 1) on the validation outputs and classes, and says what
// it fitted and how both methods fare on the validation samples when each sample is scored by a
// calibration fitted without it (cross-fitted log loss, five folds). Method none: the method of
// the lower such log loss (Platt on a tie).
NetworkCalibration fitNetworkCalibration(CalibrationMethod method,
                                         const std::vector<float>& outputs,
                                         const std::vector<uint8_t>& positive, double low,
                                         double high, int output);

// Writes the data card with the calibration as the network's card, through the one writer of
// output files. Fatal (status 1) when it cannot be written.
void writeNetworkCard(const std::string& cardFile, InputCard card, const Calibration& calibration);
