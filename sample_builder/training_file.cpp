// The training data file writer: two passes over the jobs (bounds and counts, then text), so
// memory stays at one sample's worth whatever the number of jobs.

#include "sample_builder/training_file.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>

#include "sample_builder/exception.h"
#include "sample_builder/look_back_index.h"
#include "sample_builder/number_format.h"
#include "sample_builder/tallis_output.h"

namespace {

// The values one attribute row contributes to every sample.
struct Block {
  enum Kind { kDirect, kHistory, kDecision, kOneHot, kGeneric } kind;
  const AttributeRow* row = nullptr;
  int width = 0;
  int firstColumn = 0;
  int decisionColumn = 0;  // kDecision: its place among the decision-time values of a job
};

Block::Kind kindOf(const AttributeRow& row, DecisionTime when) {
  if (row.columns == Columns::perUser) return Block::kOneHot;
  if (row.direct != nullptr) return Block::kDirect;
  const bool history = row.logOrder != nullptr || row.asOf != nullptr;
  if (!history) return Block::kGeneric;
  if (when == DecisionTime::log) {
    if (row.logOrder == nullptr) {
      throw Exception(std::string("\"") + row.key +
                      "\" exists only at a decision time (--as-of submit or start)");
    }
    return Block::kHistory;
  }
  if (row.asOf == nullptr) {
    throw Exception(std::string("\"") + row.key + "\" has no value at the decision time");
  }
  return Block::kDecision;
}

std::vector<Block> layoutBlocks(const std::vector<JobData>& jobs, const AttributeList& inputs,
                                const AttributeList& outputs, DecisionTime when) {
  std::vector<Block> blocks;
  int column = 0;
  int listStart = 0;
  int decisionColumns = 0;
  auto add = [&](const AttributeRow* row) {
    Block block;
    block.row = row;
    block.kind = kindOf(*row, when);
    if (block.kind == Block::kDecision) block.decisionColumn = decisionColumns++;
    block.width = static_cast<int>(columnCount(*row, jobs));
    block.firstColumn = column;
    column += block.width;
    if (column - listStart > kMaxSampleValues) {
      throw Exception("Too many values per sample: more than " + std::to_string(kMaxSampleValues) +
                      " (at \"" + row->key + "\")");
    }
    blocks.push_back(block);
  };
  for (const AttributeRow* row : inputs) add(row);
  listStart = column;
  for (const AttributeRow* row : outputs) add(row);
  return blocks;
}

// Where the history values come from: the log-order index, or every job's decision-time
// values computed beforehand (the engine replays events in time order, not in log order).
struct HistorySource {
  LookBackIndex index;
  std::vector<double> decisionValues;
  size_t decisionColumns = 0;
};

bool isScalar(const Block& block) {
  return block.kind == Block::kDirect || block.kind == Block::kHistory ||
         block.kind == Block::kDecision;
}

// The value of a one-column block for job i.
double scalarValue(const Block& block, const std::vector<JobData>& jobs,
                   const HistorySource& source, int i) {
  if (block.kind == Block::kDirect) return block.row->direct(jobs[i]);
  if (block.kind == Block::kDecision) {
    return source
        .decisionValues[static_cast<size_t>(i) * source.decisionColumns + block.decisionColumn];
  }
  return block.row->logOrder(LogOrderView(jobs, source.index, i));
}

std::vector<double> genericValues(const Block& block, const std::vector<JobData>& jobs, int i) {
  std::vector<double> values = block.row->definition(jobs, i);
  if (static_cast<int>(values.size()) != block.width) {
    throw Exception("Attribute values of different length: \"" + std::string(block.row->key) +
                    "\" gives job " + std::to_string(i + 1) + " " + std::to_string(values.size()) +
                    " values, job 1 " + std::to_string(block.width));
  }
  return values;
}

// One buffered run of text towards the file.
class TextBuffer {
 public:
  TextBuffer(OutputFile& file, size_t room) : file_(file), data_(room * 2 + (1 << 22)) {}
  // Makes room for `size` more characters and returns where they go.
  char* reserve(size_t size) {
    if (used_ + size > data_.size()) flush();
    return data_.data() + used_;
  }
  void advance(char* end) { used_ = static_cast<size_t>(end - data_.data()); }
  void append(const std::string& text) {
    char* out = reserve(text.size());
    std::memcpy(out, text.data(), text.size());
    advance(out + text.size());
  }
  void flush() {
    file_.write(data_.data(), used_);
    used_ = 0;
  }

 private:
  OutputFile& file_;
  std::vector<char> data_;
  size_t used_ = 0;
};

// Where every block's values go, and the one-hot position of every job's user.
struct Layout {
  std::vector<Block> blocks;
  int inputColumns = 0;
  int columns = 0;
  std::vector<int> userPosition;  // -1: not in the table; empty without a one-hot block
};

Layout layOut(const std::vector<JobData>& jobs, const AttributeList& inputs,
              const AttributeList& outputs, DecisionTime when) {
  Layout layout;
  layout.blocks = layoutBlocks(jobs, inputs, outputs, when);
  for (size_t b = 0; b < layout.blocks.size(); ++b) {
    const Block& block = layout.blocks[b];
    layout.columns += block.width;
    if (b < inputs.size()) layout.inputColumns += block.width;
    if (block.kind != Block::kOneHot || !layout.userPosition.empty()) continue;
    layout.userPosition.resize(jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) {
      auto entry = userIdLookupTable.find(jobs[i].userID);
      layout.userPosition[i] = entry == userIdLookupTable.end() ? -1 : entry->second;
    }
  }
  return layout;
}

// The smallest and largest value of every column, and the jobs whose last value is positive.
struct ColumnScan {
  std::vector<double> smallest;
  std::vector<double> largest;
  int positives = 0;
};

void include(ColumnScan& scan, int column, double value) {
  if (value < scan.smallest[column]) scan.smallest[column] = value;
  if (value > scan.largest[column]) scan.largest[column] = value;
}

// The first pass over the jobs.
ColumnScan scanColumns(const std::vector<JobData>& jobs, const Layout& layout,
                       const HistorySource& source) {
  ColumnScan scan;
  scan.smallest.assign(layout.columns, std::numeric_limits<double>::infinity());
  scan.largest.assign(layout.columns, -std::numeric_limits<double>::infinity());
  std::vector<int> usersSeen(userIdLookupTable.size(), 0);
  const int jobCount = static_cast<int>(jobs.size());
  for (int i = 0; i < jobCount; ++i) {
    double last = 0;  // an empty sample counts as negative
    for (const Block& block : layout.blocks) {
      if (block.width == 0) continue;
      if (isScalar(block)) {
        last = scalarValue(block, jobs, source, i);
        include(scan, block.firstColumn, last);
      } else if (block.kind == Block::kOneHot) {
        last = layout.userPosition[i] == block.width - 1 ? 1.0 : 0.0;
      } else {
        const std::vector<double> values = genericValues(block, jobs, i);
        for (int k = 0; k < block.width; ++k) include(scan, block.firstColumn + k, values[k]);
        last = values.back();
      }
    }
    if (!layout.userPosition.empty() && layout.userPosition[i] >= 0) {
      ++usersSeen[layout.userPosition[i]];
    }
    if (last > 0.5) ++scan.positives;
  }
  // A one-hot column holds 1 for its user's jobs and 0 for every other job.
  for (const Block& block : layout.blocks) {
    if (block.kind != Block::kOneHot) continue;
    for (int k = 0; k < block.width; ++k) {
      scan.smallest[block.firstColumn + k] = usersSeen[k] == jobCount ? 1.0 : 0.0;
      scan.largest[block.firstColumn + k] = usersSeen[k] > 0 ? 1.0 : 0.0;
    }
  }
  return scan;
}

// The widened bounds of column k as written. ombra reads the file in single precision: a bound
// it cannot read would end its reading of the file, so such a file is not written at all.
std::string boundsLine(const ColumnScan& scan, int k) {
  const ColumnBounds bounds = widenedBounds(scan.smallest[k], scan.largest[k]);
  const std::string lower = formatDouble(bounds.lower);
  const std::string upper = formatDouble(bounds.upper);
  // Six significant digits can swallow the margin of a constant column of large values
  // (259200 +- 0.125 is written as 259200 259200): such a column cannot be scaled.
  const double low = std::strtod(lower.c_str(), nullptr);
  const double high = std::strtod(upper.c_str(), nullptr);
  if (!(low < high)) {
    std::cerr << "Warning: the bounds of value column " << k << " round to " << lower << " "
              << upper << "; a network cannot scale this column" << std::endl;
  }
  const float floatSpan = static_cast<float>(high) - static_cast<float>(low);
  if (!(std::fabs(low) <= FLT_MAX && std::fabs(high) <= FLT_MAX && std::isfinite(floatSpan))) {
    throw Exception("The bounds " + lower + " " + upper + " of value column " + std::to_string(k) +
                    " are beyond the float range of the training data file");
  }
  return lower + " " + upper + "\n";
}

// The most characters one sample's line can take.
size_t sampleRoom(const Layout& layout) {
  size_t room = 1;
  for (const Block& block : layout.blocks) {
    room += static_cast<size_t>(block.width) *
            (block.kind == Block::kOneHot ? 2 : kMaxFormattedDouble + 1);
  }
  return room;
}

// The second pass over the jobs: the samples as text, a tab after every value.
void appendSamples(TextBuffer& text, const std::vector<JobData>& jobs, const Layout& layout,
                   const HistorySource& source) {
  const size_t room = sampleRoom(layout);
  std::string zeros;
  for (size_t k = 0; k < userIdLookupTable.size(); ++k) zeros += "0\t";
  for (int i = 0; i < static_cast<int>(jobs.size()); ++i) {
    char* out = text.reserve(room);
    for (const Block& block : layout.blocks) {
      if (isScalar(block)) {
        out = formatDouble(out, scalarValue(block, jobs, source, i));
        *out++ = '\t';
      } else if (block.kind == Block::kOneHot) {
        std::memcpy(out, zeros.data(), 2 * static_cast<size_t>(block.width));
        if (layout.userPosition[i] >= 0) out[2 * layout.userPosition[i]] = '1';
        out += 2 * block.width;
      } else {
        for (double value : genericValues(block, jobs, i)) {
          out = formatDouble(out, value);
          *out++ = '\t';
        }
      }
    }
    *out++ = '\n';
    text.advance(out);
  }
}

HistorySource historySource(const std::vector<JobData>& jobs, const Layout& layout,
                            DecisionTime when) {
  HistorySource source;
  AttributeList decisionRows;
  bool logOrder = false;
  for (const Block& block : layout.blocks) {
    if (block.kind == Block::kDecision) decisionRows.push_back(block.row);
    if (block.kind == Block::kHistory) logOrder = true;
  }
  if (logOrder) source.index = buildLookBackIndex(jobs);
  if (!decisionRows.empty()) {
    source.decisionValues = decisionTimeValues(jobs, when, decisionRows);
    source.decisionColumns = decisionRows.size();
  }
  return source;
}

int sizeForJobZero(const std::vector<JobData>& jobs, const AttributeList& rows) {
  size_t size = 0;
  for (const AttributeRow* row : rows) {
    size += columnCount(*row, jobs);
    if (size > static_cast<size_t>(kMaxSampleValues)) {
      throw Exception("Too many values per sample: more than " + std::to_string(kMaxSampleValues) +
                      " (at \"" + row->key + "\")");
    }
  }
  return static_cast<int>(size);
}

}  // namespace

int inputSize(const std::vector<JobData>& jobs, const AttributeList& inputs) {
  return sizeForJobZero(jobs, inputs);
}

int outputSize(const std::vector<JobData>& jobs, const AttributeList& outputs) {
  return sizeForJobZero(jobs, outputs);
}

ColumnBounds widenedBounds(double smallest, double largest) {
  double range = largest - smallest;
  if (std::fabs(range) < 1e-200) range = 1;
  double margin = range * 0.25 * 0.5;
  return {smallest - margin, largest + margin};
}

void createTrainingFile(const std::vector<JobData>& jobs, const AttributeList& inputs,
                        const AttributeList& outputs, std::string path, double trainingCount,
                        double validationCount, double testCount, DecisionTime when) {
  OutputFile file(path, FileKind::trainingData, tallisOutputMessage);
  createTrainingFile(jobs, inputs, outputs, file, trainingCount, validationCount, testCount, when);
}

void createTrainingFile(const std::vector<JobData>& jobs, const AttributeList& inputs,
                        const AttributeList& outputs, OutputFile& file, double trainingCount,
                        double validationCount, double testCount, DecisionTime when) {
  file.start();
  if (jobs.empty()) throw Exception("No jobs to write");
  const Layout layout = layOut(jobs, inputs, outputs, when);
  const HistorySource source = historySource(jobs, layout, when);
  const ColumnScan scan = scanColumns(jobs, layout, source);
  std::cout << "positives = " << scan.positives
            << "\tnegatives= " << static_cast<int>(jobs.size()) - scan.positives << std::endl;

  TextBuffer text(file, sampleRoom(layout));
  text.append(formatDouble(trainingCount) + " " + formatDouble(validationCount) + " " +
              formatDouble(testCount) + "\n");
  text.append(std::to_string(layout.inputColumns) + " " +
              std::to_string(layout.columns - layout.inputColumns) + "\n");
  for (int k = 0; k < layout.columns; ++k) text.append(boundsLine(scan, k));
  appendSamples(text, jobs, layout, source);
  text.flush();
  file.commit();
}
