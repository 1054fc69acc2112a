#pragma once
// A job's attribute values as the network's scaled inputs, by the path a value takes through
// training: tallis writes it with six significant digits, ombra reads that text as a float and
// scales it to [-1, 1] with the input ranges of the network file. Scores of a job therefore
// equal, bit for bit, the network's answer for that job's row of the training data file.

#include <unordered_map>
#include <vector>

#include "score/network_card.h"

// The float that ombra reads from the text that tallis writes for value.
float asInTrainingData(double value);

class InputEncoder {
 public:
  // inputRanges: a minimum and a maximum per input, as in the network file.
  InputEncoder(const std::vector<InputColumn>& inputs, const std::vector<float>& inputRanges);

  // The attributes whose values encode() takes, in the order it takes them: every input
  // column but the one-hot user columns.
  const AttributeList& rows() const { return rows_; }
  size_t inputCount() const { return low_.size(); }
  // Fills scaled (inputCount() floats) from the job and the values of rows().
  void encode(const JobData& job, const double* values, float* scaled) const;

 private:
  float scaledAt(size_t column, float value) const;

  AttributeList rows_;
  std::vector<int> rowColumns_;   // the input column of each row
  std::vector<int> userColumns_;  // every one-hot user column
  std::unordered_map<int, std::vector<int>> columnsOfUser_;
  std::vector<float> low_, high_;
};
