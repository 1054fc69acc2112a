#include "evaluate/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

std::string fixed(double value, int decimals) {
  if (std::isnan(value)) return "n/a";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

ModelFigures figuresOf(const std::string& name, const ScoredSamples& evaluated,
                       const Ranking& ranking, const ScoredSamples& validation) {
  ModelFigures figures;
  figures.name = name;
  figures.rocAuc = ranking.rocAuc();
  figures.averagePrecision = ranking.averagePrecision();
  figures.brier = brierScore(evaluated);
  figures.logLoss = logLoss(evaluated);
  const double rates[3] = {0.01, 0.05, 0.10};
  for (int k = 0; k < 3; ++k) figures.tprAtFpr[k] = ranking.truePositiveRateAt(rates[k]);
  figures.liftTop10 = ranking.liftAt(0.10);
  figures.atHalf = confusionAt(evaluated, 0.5f);
  figures.bestThreshold = validation.scores.empty()
                              ? std::nanf("")
                              : Ranking(validation.scores, validation.positive).bestF1Threshold();
  if (!std::isnan(figures.bestThreshold)) {
    figures.atBest = confusionAt(evaluated, figures.bestThreshold);
  }
  return figures;
}

namespace {

constexpr int kNameWidth = 25;

std::string cell(const std::string& text, int width) {
  return text.size() >= static_cast<size_t>(width)
             ? " " + text
             : std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

std::string nameCell(const std::string& name) {
  return name.size() >= kNameWidth ? name + " " : name + std::string(kNameWidth - name.size(), ' ');
}

double f1AtBest(const ModelFigures& model) {
  return std::isnan(model.bestThreshold) ? std::nan("") : model.atBest.f1();
}

}  // namespace

void printTable(std::ostream& out, const std::vector<ModelFigures>& models) {
  const char* headers[] = {"ROC AUC", "PR AUC",  "Brier",  "LogLoss", "TPR@1%", "TPR@5%",
                           "TPR@10%", "Lift10%", "TPR@.5", "Prec@.5", "F1@.5",  "F1@val"};
  out << nameCell("model");
  for (const char* header : headers) out << cell(header, 8);
  out << '\n';
  for (const ModelFigures& m : models) {
    const double values[] = {m.rocAuc,
                             m.averagePrecision,
                             m.brier,
                             m.logLoss,
                             m.tprAtFpr[0],
                             m.tprAtFpr[1],
                             m.tprAtFpr[2],
                             m.liftTop10,
                             m.atHalf.truePositiveRate(),
                             m.atHalf.precision(),
                             m.atHalf.f1(),
                             f1AtBest(m)};
    out << nameCell(m.name);
    // The lift (column 8) is a ratio around 1, the rest are shares and losses.
    for (int k = 0; k < 12; ++k) out << cell(fixed(values[k], k == 7 ? 2 : 4), 8);
    out << '\n';
  }
  out << "ROC AUC: ties count one half; PR AUC: average precision; Brier and LogLoss: the output\n"
         "clipped to [0, 1] and [1e-7, 1 - 1e-7]; TPR@x%: true-positive rate at a false-positive\n"
         "rate of x %; Lift10%: share of failed or cancelled jobs among the top 10 % of outputs\n"
         "over their share among all; @.5: output above 0.5 counts as failed or cancelled;\n"
         "F1@val: at the threshold that maximises F1 on the validation samples.\n";
  out.flush();
}

void printConfusions(std::ostream& out, const ModelFigures& model, const std::string& setName) {
  const auto counts = [](const Confusion& c) {
    return "TP " + std::to_string(c.truePositives) + ", FP " + std::to_string(c.falsePositives) +
           ", TN " + std::to_string(c.trueNegatives) + ", FN " + std::to_string(c.falseNegatives);
  };
  out << model.name << " on the " << setName
      << " samples at threshold 0.5: " << counts(model.atHalf) << '\n';
  if (std::isnan(model.bestThreshold)) {
    out << model.name << ": no best threshold (no validation samples, or none failed)\n";
  } else {
    char threshold[32];
    std::snprintf(threshold, sizeof threshold, "%g", model.bestThreshold);
    out << model.name << " at threshold " << threshold
        << " (best F1 on the validation samples): " << counts(model.atBest) << "; TPR "
        << fixed(model.atBest.truePositiveRate(), 4) << ", precision "
        << fixed(model.atBest.precision(), 4) << ", F1 " << fixed(model.atBest.f1(), 4) << '\n';
  }
  out.flush();
}

void printImportance(std::ostream& out, const std::vector<Importance>& rows, int shuffles,
                     unsigned seed, const std::string& setName) {
  out << "Permutation importance: drop of the network's ROC AUC on the " << setName
      << " samples when an attribute is shuffled (mean of " << shuffles << " shuffles, seed "
      << seed << ")\n";
  size_t width = 0;
  for (const Importance& row : rows) width = std::max(width, row.name.size());
  for (const Importance& row : rows) {
    out << "  " << row.name << std::string(width - row.name.size() + 2, ' ')
        << cell(fixed(row.drop, 4), 8) << '\n';
  }
  out.flush();
}
