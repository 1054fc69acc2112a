#include "score/batch_scores.h"

#include <algorithm>

#include "score/log_order_history.h"

namespace {

// Scaled input rows gathered in decision order and sent through the network a block at a
// time; each output lands at its job's place.
class OutputBlocks {
 public:
  OutputBlocks(const ScoringNetwork& network, size_t inputs, std::vector<float>& outputs)
      : network_(network), inputs_(inputs), outputs_(outputs) {
    rows_.resize(kRows * inputs);
    targets_.reserve(kRows);
    results_.resize(kRows);
  }
  ~OutputBlocks() { flush(); }
  // Where the scaled inputs of the job at `place` go.
  float* row(size_t place) {
    if (targets_.size() == kRows) flush();
    targets_.push_back(place);
    return rows_.data() + (targets_.size() - 1) * inputs_;
  }
  void flush() {
    network_.outputsOf(rows_.data(), targets_.size(), results_.data());
    for (size_t k = 0; k < targets_.size(); ++k) outputs_[targets_[k]] = results_[k];
    targets_.clear();
  }

 private:
  static constexpr size_t kRows = 1024;
  const ScoringNetwork& network_;
  size_t inputs_;
  std::vector<float>& outputs_;
  std::vector<float> rows_, results_;
  std::vector<size_t> targets_;
};

void logOrderOutputs(const std::vector<JobData>& jobs, size_t historyOnly,
                     const InputEncoder& encoder, OutputBlocks& blocks) {
  LogOrderHistory history;
  std::vector<double> values(encoder.rows().size());
  for (size_t i = 0; i < jobs.size(); ++i) {
    const int64_t index = static_cast<int64_t>(i);
    if (i >= historyOnly) {
      attributeValues(history.knownAt(jobs[i], index), encoder.rows(), values.data());
      encoder.encode(jobs[i], values.data(), blocks.row(i - historyOnly));
    }
    if (hasOutcome(jobs[i])) history.add(jobs[i], index);
  }
}

// The order of tallis's decision-time replay: decisions by (decision time, line), the
// submissions of finished jobs by (submit time, line) as their time comes, each finished
// job's outcome after its decision; lines without a submit time are decided knowing nothing.
void decisionTimeOutputs(const std::vector<JobData>& jobs, size_t historyOnly, DecisionTime when,
                         const InputEncoder& encoder, OutputBlocks& blocks) {
  DecisionHistory history(when);
  std::vector<double> values(encoder.rows().size());
  const auto decide = [&](size_t i) {
    if (i < historyOnly) return;
    history.attributesAt(jobs[i], static_cast<int64_t>(i), encoder.rows(), values.data());
    encoder.encode(jobs[i], values.data(), blocks.row(i - historyOnly));
  };
  std::vector<size_t> decisions, submissions;
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (!knowsSubmitTime(jobs[i])) {
      decide(i);
      continue;
    }
    decisions.push_back(i);
    if (hasOutcome(jobs[i])) submissions.push_back(i);
  }
  std::vector<double> decisionTimes(jobs.size());
  for (size_t i : decisions) decisionTimes[i] = decisionTimeOf(jobs[i], when);
  std::stable_sort(decisions.begin(), decisions.end(),
                   [&](size_t a, size_t b) { return decisionTimes[a] < decisionTimes[b]; });
  std::stable_sort(submissions.begin(), submissions.end(),
                   [&](size_t a, size_t b) { return jobs[a].submitTime < jobs[b].submitTime; });
  size_t next = 0;
  for (size_t i : decisions) {
    const double decision = decisionTimes[i];
    for (; next < submissions.size(); ++next) {
      const size_t j = submissions[next];
      const double submit = jobs[j].submitTime;
      if (submit > decision || (submit == decision && j >= i)) break;
      history.recordSubmission(jobs[j], static_cast<int64_t>(j));
    }
    history.advanceTo(jobs[i], static_cast<int64_t>(i));
    decide(i);
    if (hasOutcome(jobs[i])) history.recordOutcome(jobs[i], static_cast<int64_t>(i));
  }
}

}  // namespace

std::vector<float> batchOutputs(const std::vector<JobData>& jobs, size_t historyOnly,
                                DecisionTime when, const InputEncoder& encoder,
                                const ScoringNetwork& network) {
  std::vector<float> outputs(jobs.size() - std::min(historyOnly, jobs.size()));
  {
    OutputBlocks blocks(network, encoder.inputCount(), outputs);
    if (when == DecisionTime::log) {
      logOrderOutputs(jobs, historyOnly, encoder, blocks);
    } else {
      decisionTimeOutputs(jobs, historyOnly, when, encoder, blocks);
    }
  }
  return outputs;
}
