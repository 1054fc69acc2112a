// The network file: L, the L layer sizes, the weights, the input ranges and the output
// ranges, as little-endian 32-bit ints and IEEE floats, with no header.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/fatal.h"
#include "common/file_contents.h"
#include "common/memory_limit.h"
#include "common/ombra_status.h"
#include "files/file_kinds.h"
#include "files/paths.h"
#include "nn/reloaded_network.h"
#include "nn/replace_file.h"

namespace {

void appendWord(std::vector<unsigned char>& bytes, uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back((word >> shift) & 0xff);
}

void appendFloats(std::vector<unsigned char>& bytes, const float* values, size_t count) {
  for (size_t k = 0; k < count; ++k) {
    uint32_t word;
    std::memcpy(&word, &values[k], sizeof word);
    appendWord(bytes, word);
  }
}

uint32_t wordAt(const char* bytes) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

}  // namespace

void NN::save(const std::string& fileName) const {
  if (weights.size() < static_cast<size_t>(numberOfWeights())) {
    fatal("Network has no weights to save to " + fileName,
          ombra_status::kFailure);  // never trained
  }
  ReplacedFile file(fileName, FileKind::network);
  save(file);
}

void NN::save(ReplacedFile& file) const {
  if (weights.size() < static_cast<size_t>(numberOfWeights())) {
    fatal("Network has no weights to save", ombra_status::kFailure);
  }
  std::vector<unsigned char> bytes;
  appendWord(bytes, static_cast<uint32_t>(numberOfLayers()));
  for (int size : layers) appendWord(bytes, static_cast<uint32_t>(size));
  appendFloats(bytes, weights.data(), static_cast<size_t>(numberOfWeights()));
  appendFloats(bytes, inputRanges.data(), 2 * static_cast<size_t>(inputSize()));
  appendFloats(bytes, outputRanges.data(), 2 * static_cast<size_t>(outputSize()));

  file.replaceWith(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The whole file is read first, so every size is checked against the bytes that are really
// there before anything is sized from it: a damaged count cannot make the reader allocate.
NN_reloaded::NN_reloaded(const std::string& fileName) : NN_reloaded(fileName, "") {}

NN_reloaded::NN_reloaded(const std::string& fileName, const std::string& swappedHint) {
  const FileContents contents(fileName);
  if (contents.status() == FileContents::tooLarge) {
    fatal("Corrupt network file: " + fileName + ": too large for the " +
              mebibytes(physicalMemoryBytes()) + " of memory of this machine",
          ombra_status::kFailure);
  }
  if (contents.status() != FileContents::ok) {
    fatal("Error opening file: " + fileName + ": " + contents.reason(), ombra_status::kFailure);
  }
  const auto corrupt = [&](const std::string& reason) {
    // A file of a kind the programs know (a training data file, a log, a parameters file)
    // was given in the network file's place: say what it is.
    const size_t headBytes = std::min<size_t>(contents.size(), size_t{64} << 10);
    const FileKind kind = kindOfContent(std::string(contents.begin(), headBytes), contents.size(),
                                        baseNameOf(fileName));
    std::string what;
    if (kind != FileKind::unknown && kind != FileKind::network) {
      what = ": it is " + std::string(describeKind(kind)) + ", not a network file";
      if (kind == FileKind::trainingData) what += swappedHint;
    }
    fatal("Corrupt network file: " + fileName + ": " + reason + what, ombra_status::kFailure);
  };
  const size_t fileSize = contents.size();
  const char* bytes = contents.begin();
  if (fileSize < 4) corrupt("no layer count");
  const int32_t layerCount = static_cast<int32_t>(wordAt(bytes));
  if (layerCount < 2) corrupt("layer count " + std::to_string(layerCount) + " is below 2");
  if (static_cast<uint64_t>(layerCount) > (fileSize - 4) / 4) corrupt("file too short");

  // Sizes are checked against the bytes really there as they are read; weight counts stay
  // within int, so no sum below can overflow.
  uint64_t weightCount = 0;
  std::vector<int> sizes(static_cast<size_t>(layerCount));
  for (int l = 0; l < layerCount; ++l) {
    sizes[l] = static_cast<int32_t>(wordAt(bytes + 4 + 4 * l));
    if (sizes[l] < 1) {
      corrupt("layer " + std::to_string(l) + " has size " + std::to_string(sizes[l]));
    }
    if (l > 0) weightCount += (static_cast<uint64_t>(sizes[l - 1]) + 1) * sizes[l];
    if (weightCount > INT_MAX) corrupt("too many weights");
  }
  const uint64_t expected = 4 + 4 * static_cast<uint64_t>(layerCount) + 4 * weightCount +
                            8 * static_cast<uint64_t>(sizes.front()) +
                            8 * static_cast<uint64_t>(sizes.back());
  if (expected > fileSize) corrupt("file too short for its layer sizes");
  if (expected < fileSize) corrupt("file longer than its layer sizes imply");

  layers = sizes;
  const auto readFloats = [](std::vector<float>& values, size_t count, const char*& cursor) {
    values.resize(count);
    for (size_t k = 0; k < count; ++k, cursor += 4) {
      const uint32_t word = wordAt(cursor);
      std::memcpy(&values[k], &word, sizeof word);
    }
  };
  const char* cursor = bytes + 4 + 4 * static_cast<size_t>(layerCount);
  readFloats(weights, static_cast<size_t>(numberOfWeights()), cursor);
  readFloats(inputRanges, 2 * static_cast<size_t>(inputSize()), cursor);
  readFloats(outputRanges, 2 * static_cast<size_t>(outputSize()), cursor);
  // Ranges come from a training data file that had to give every column a finite span, so
  // anything else is damage; it would turn every output into nan.
  const auto checkRanges = [&corrupt](const std::vector<float>& ranges, const char* kind) {
    for (size_t j = 0; j < ranges.size() / 2; ++j) {
      const float span = ranges[2 * j + 1] - ranges[2 * j];
      if (!(span > 0.0f) || !std::isfinite(span)) {
        corrupt("range of " + std::string(kind) + " " + std::to_string(j + 1) +
                " is not a finite interval");
      }
    }
  };
  checkRanges(inputRanges, "input");
  checkRanges(outputRanges, "output");
  allocateBuffers();
}

double NN_reloaded::train() { fatal("Training not allowed", ombra_status::kFailure); }

void NN_reloaded::printInfo() {
  printInfoTitle();
  printTopologyInfo();
}
