#include "card/calibration.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <locale>
#include <numeric>
#include <sstream>

namespace {

// u in (0, 1) from a raw output; a float sigmoid reaches 0 and 1 exactly far from the middle.
constexpr double kEdge = 1e-15;

double logit(double output, double low, double high) {
  const double u = std::clamp((output - low) / (high - low), kEdge, 1 - kEdge);
  return std::log(u / (1 - u));
}

double logistic(double f) { return 1 / (1 + std::exp(-f)); }

// -t log(p) - (1 - t) log(1 - p) for p = logistic(f), without overflow.
double crossEntropy(double f, double t) {
  return std::log1p(std::exp(-std::fabs(f))) + std::max(f, 0.0) - t * f;
}

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// Newton steps on the two parameters of the logistic fit, each step halved until the loss
// falls (it is convex, so a full step nearly always does).
Calibration fitPlatt(const std::vector<float>& outputs, const std::vector<uint8_t>& positive,
                     double low, double high) {
  const size_t n = outputs.size();
  const double positives = std::accumulate(positive.begin(), positive.end(), 0.0);
  const double negatives = static_cast<double>(n) - positives;
  const double targetPositive = (positives + 1) / (positives + 2);
  const double targetNegative = 1 / (negatives + 2);
  std::vector<double> z(n), t(n);
  for (size_t i = 0; i < n; ++i) {
    z[i] = logit(outputs[i], low, high);
    t[i] = positive[i] ? targetPositive : targetNegative;
  }
  const auto loss = [&](double a, double b) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += crossEntropy(a * z[i] + b, t[i]);
    return sum;
  };
  double a = 1, b = 0;
  double current = loss(a, b);
  for (int step = 0; step < 100; ++step) {
    double ga = 0, gb = 0, haa = 1e-12, hab = 0, hbb = 1e-12;
    for (size_t i = 0; i < n; ++i) {
      const double p = logistic(a * z[i] + b);
      const double d = p - t[i];
      const double w = p * (1 - p);
      ga += d * z[i];
      gb += d;
      haa += w * z[i] * z[i];
      hab += w * z[i];
      hbb += w;
    }
    const double determinant = haa * hbb - hab * hab;
    if (!(determinant > 0)) break;
    double da = -(hbb * ga - hab * gb) / determinant;
    double db = -(haa * gb - hab * ga) / determinant;
    double next = loss(a + da, b + db);
    for (int halving = 0; halving < 30 && !(next <= current); ++halving) {
      da /= 2;
      db /= 2;
      next = loss(a + da, b + db);
    }
    if (!(next <= current)) break;
    a += da;
    b += db;
    const bool settled = current - next <= 1e-12 * std::max(1.0, current);
    current = next;
    if (settled) break;
  }
  Calibration calibration;
  calibration.method = CalibrationMethod::platt;
  calibration.slope = a;
  calibration.intercept = b;
  calibration.low = low;
  calibration.high = high;
  return calibration;
}

// Pool-adjacent violators over the outputs in ascending order (equal outputs in one block, and
// blocks of equal shares pooled), then a line through the blocks' centres: every block's mean
// output against its share, each share kept within [1 / (2n), 1 - 1 / (2n)] for its n samples
// (shares that clipping makes equal pooled again), and beyond the outer centres straight on to
// the ends of the output range, at half the way to certainty. Strictly rising over the whole
// range, so the order of the outputs stays; a step function would tie the jobs of a block.
Calibration fitIsotonic(const std::vector<float>& outputs, const std::vector<uint8_t>& positive,
                        double low, double high) {
  std::vector<size_t> order(outputs.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](size_t i, size_t j) { return outputs[i] < outputs[j]; });
  struct Block {
    double last, sum, positives, count;
    double share() const { return positives / count; }
  };
  std::vector<Block> blocks;
  const auto pool = [&blocks](bool (*violates)(const Block& before, const Block& last)) {
    while (blocks.size() >= 2 && violates(blocks[blocks.size() - 2], blocks.back())) {
      Block& before = blocks[blocks.size() - 2];
      before.last = blocks.back().last;
      before.sum += blocks.back().sum;
      before.positives += blocks.back().positives;
      before.count += blocks.back().count;
      blocks.pop_back();
    }
  };
  for (size_t i : order) {
    const double x = outputs[i];
    if (!blocks.empty() && blocks.back().last == x) {
      blocks.back().sum += x;
      blocks.back().positives += positive[i];
      blocks.back().count += 1;
    } else {
      blocks.push_back({x, x, static_cast<double>(positive[i]), 1});
    }
    pool([](const Block& before, const Block& last) {
      return before.positives * last.count >= last.positives * before.count;
    });
  }
  Calibration calibration;
  calibration.method = CalibrationMethod::isotonic;
  std::vector<Block> kept;
  std::vector<double> shares;
  for (const Block& block : blocks) {
    const double edge = 1 / (2 * block.count);
    const double share = std::clamp(block.share(), edge, 1 - edge);
    if (!shares.empty() && share <= shares.back()) {
      // Clipped into its neighbour: one block again, at the larger share.
      kept.back().sum += block.sum;
      kept.back().count += block.count;
      continue;
    }
    kept.push_back(block);
    shares.push_back(share);
  }
  if (low < kept.front().sum / kept.front().count) {
    calibration.x.push_back(low);
    calibration.p.push_back(shares.front() / 2);
  }
  for (size_t k = 0; k < kept.size(); ++k) {
    calibration.x.push_back(kept[k].sum / kept[k].count);
    calibration.p.push_back(shares[k]);
  }
  if (high > calibration.x.back()) {
    calibration.x.push_back(high);
    calibration.p.push_back((1 + shares.back()) / 2);
  }
  return calibration;
}

}  // namespace

double Calibration::apply(double raw) const {
  switch (method) {
    case CalibrationMethod::none:
      return std::clamp(raw, 0.0, 1.0);
    case CalibrationMethod::platt:
      return logistic(slope * logit(raw, low, high) + intercept);
    case CalibrationMethod::isotonic:
      break;
  }
  if (std::isnan(raw)) return raw;
  if (raw <= x.front()) return p.front();
  if (raw >= x.back()) return p.back();
  const size_t k = static_cast<size_t>(std::upper_bound(x.begin(), x.end(), raw) - x.begin());
  const double share = (raw - x[k - 1]) / (x[k] - x[k - 1]);
  return p[k - 1] + share * (p[k] - p[k - 1]);
}

const char* calibrationMethodName(CalibrationMethod method) {
  return method == CalibrationMethod::platt      ? "platt"
         : method == CalibrationMethod::isotonic ? "isotonic"
                                                 : "none";
}

std::string formatCalibration(const Calibration& calibration) {
  std::string line = "calibration " + std::to_string(calibration.output) + " " +
                     calibrationMethodName(calibration.method);
  if (calibration.method == CalibrationMethod::platt) {
    for (double value :
         {calibration.slope, calibration.intercept, calibration.low, calibration.high}) {
      line += " " + number(value);
    }
  } else if (calibration.method == CalibrationMethod::isotonic) {
    line += " " + std::to_string(calibration.x.size());
    for (size_t k = 0; k < calibration.x.size(); ++k) {
      line += " " + number(calibration.x[k]) + " " + number(calibration.p[k]);
    }
  }
  return line;
}

std::string parseCalibration(const std::string& line, Calibration& calibration) {
  calibration = Calibration();
  std::istringstream words(line);
  words.imbue(std::locale::classic());
  std::string keyword, method;
  if (!(words >> keyword >> calibration.output >> method) || keyword != "calibration" ||
      calibration.output < 1) {
    return "expected 'calibration <output> <method> ...'";
  }
  std::vector<double> values;
  for (std::string word; words >> word;) {
    double value = 0;
    const auto read = std::from_chars(word.data(), word.data() + word.size(), value);
    if (read.ec != std::errc() || read.ptr != word.data() + word.size() || !std::isfinite(value)) {
      return "a calibration value that is not a finite number: '" + word + "'";
    }
    values.push_back(value);
  }
  if (method == "platt") {
    if (values.size() != 4 || !(values[3] > values[2])) {
      return "platt needs a slope, an intercept and an output range LO < HI";
    }
    calibration.method = CalibrationMethod::platt;
    calibration.slope = values[0];
    calibration.intercept = values[1];
    calibration.low = values[2];
    calibration.high = values[3];
    return "";
  }
  if (method == "isotonic") {
    if (values.empty() || values[0] < 1 || values[0] != std::floor(values[0]) ||
        values.size() != 1 + 2 * static_cast<size_t>(values[0])) {
      return "isotonic needs a point count N and N pairs of output and share";
    }
    calibration.method = CalibrationMethod::isotonic;
    for (size_t k = 1; k < values.size(); k += 2) {
      const double x = values[k], p = values[k + 1];
      if (!(p >= 0 && p <= 1)) return "an isotonic share outside [0, 1]";
      if (!calibration.x.empty() && (x <= calibration.x.back() || p < calibration.p.back())) {
        return "isotonic points must rise";
      }
      calibration.x.push_back(x);
      calibration.p.push_back(p);
    }
    return "";
  }
  return "unknown calibration method '" + method + "'";
}

Calibration fitCalibration(CalibrationMethod method, const std::vector<float>& outputs,
                           const std::vector<uint8_t>& positive, double low, double high) {
  Calibration calibration;
  if (method == CalibrationMethod::platt) calibration = fitPlatt(outputs, positive, low, high);
  if (method == CalibrationMethod::isotonic) {
    calibration = fitIsotonic(outputs, positive, low, high);
  }
  return calibration;
}

double crossFittedLogLoss(CalibrationMethod method, const std::vector<float>& outputs,
                          const std::vector<uint8_t>& positive, double low, double high,
                          int folds) {
  double sum = 0;
  for (int fold = 0; fold < folds; ++fold) {
    std::vector<float> fitOutputs;
    std::vector<uint8_t> fitClasses;
    for (size_t i = 0; i < outputs.size(); ++i) {
      if (static_cast<int>(i % folds) == fold) continue;
      fitOutputs.push_back(outputs[i]);
      fitClasses.push_back(positive[i]);
    }
    const size_t positives = std::count(fitClasses.begin(), fitClasses.end(), 1);
    if (positives == 0 || positives == fitClasses.size()) return std::nan("");
    const Calibration calibration = fitCalibration(method, fitOutputs, fitClasses, low, high);
    for (size_t i = static_cast<size_t>(fold); i < outputs.size(); i += folds) {
      const double p = std::clamp(calibration.apply(outputs[i]), 1e-7, 1 - 1e-7);
      sum -= positive[i] ? std::log(p) : std::log(1 - p);
    }
  }
  return outputs.empty() ? std::nan("") : sum / static_cast<double>(outputs.size());
}
