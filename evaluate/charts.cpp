#include "evaluate/charts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <utility>

#include "common/fatal.h"
#include "common/file_contents.h"
#include "evaluate/exit_status.h"
#include "evaluate/report.h"
#include "files/output_file.h"
#include "files/paths.h"
#include "files/signal_cleanup.h"

namespace {

struct Point {
  double x, y;
  double count = 0;  // the samples of a calibration bin
};
using Curve = std::vector<Point>;

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool gnuplotOnPath() {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (access(((folder.empty() ? "." : folder) + "/gnuplot").c_str(), X_OK) == 0) return true;
  }
  return false;
}

// At most about 1,500 points per curve: a point is kept once the curve has moved 1/1,500 of
// an axis from the last kept one (or, for the ROC curve's log-scaled panel, 1/300 of a
// decade of the false-positive rate), and the last point always, so the drawing is exact to
// a fraction of a pixel.
void keep(Curve& curve, Point point, bool last, bool logX = false) {
  const double step = 1.0 / 1500;
  if (curve.empty() || last || std::fabs(point.x - curve.back().x) >= step ||
      std::fabs(point.y - curve.back().y) >= step ||
      (logX && point.x > 0 &&
       (curve.back().x <= 0 || std::fabs(std::log10(point.x / curve.back().x)) >= 1.0 / 300))) {
    curve.push_back(point);
  }
}

// ROC: (false-positive rate, true-positive rate); gains: (share of samples taken by falling
// score, share of positives found), at every distinct score: samples of one score move
// together, a straight segment on both. Precision-recall: (recall, precision); within a
// group of tied scores precision is not straight in recall, so the curve follows the ties
// taken in random order (their expected precision), and it starts at the first positive
// found: precision at recall 0 is undefined, and drawing it as 0 made a spike.
void curvesOf(const Ranking& ranking, Curve& roc, Curve& gains, Curve& pr) {
  const double positives = static_cast<double>(ranking.positives());
  const double negatives = static_cast<double>(ranking.negatives());
  const double total = positives + negatives;
  roc.push_back({0, 0});
  gains.push_back({0, 0});
  double truePositives = 0, falsePositives = 0;
  const auto& groups = ranking.groups();
  for (size_t g = 0; g < groups.size(); ++g) {
    const double groupPositives = static_cast<double>(groups[g].positives);
    const double groupNegatives = static_cast<double>(groups[g].negatives);
    const bool last = g + 1 == groups.size();
    if (groupPositives > 0) {
      // The curve ends where the last positive is found.
      const bool allFound = truePositives + groupPositives == positives;
      const int steps = groupNegatives > 0 ? 50 : 1;
      for (int k = 1; k <= steps; ++k) {
        const double share = static_cast<double>(k) / steps;
        const double found = truePositives + share * groupPositives;
        const double taken = found + falsePositives + share * groupNegatives;
        keep(pr, {found / positives, found / taken}, allFound && k == steps);
      }
    }
    if (negatives > 0 && positives > 0 && groupPositives > 0 && groupNegatives > 0) {
      // A tie's straight segment, with points for the log-scaled panel, where it curves:
      // from its first false positive on, 20 a decade.
      for (double share = 1 / groupNegatives; share < 1; share *= std::pow(10.0, 0.05)) {
        keep(roc,
             {(falsePositives + share * groupNegatives) / negatives,
              (truePositives + share * groupPositives) / positives},
             false, true);
      }
    }
    truePositives += groupPositives;
    falsePositives += groupNegatives;
    if (negatives > 0 && positives > 0) {
      keep(roc, {falsePositives / negatives, truePositives / positives}, last, true);
    }
    if (positives > 0) {
      keep(gains, {(truePositives + falsePositives) / total, truePositives / positives}, last);
    }
  }
}

// Ten bins of about equal count, by score (clipped to [0, 1]); samples of one score stay in
// one bin, so ties can make a bin larger and the bins fewer. Per bin: the mean score against
// the share of positives, and the count.
Curve calibrationOf(const ScoredSamples& samples) {
  constexpr int bins = 10;
  const Ranking ranking(samples.scores, samples.positive);
  const double total = static_cast<double>(ranking.positives() + ranking.negatives());
  // Bin b ends once (b + 1) tenths of the samples are taken; a bin that takes a large tie
  // past several such ends is followed by the bin of the next end still ahead.
  const auto end = [total](int b) { return std::round(b * total / bins); };
  Curve curve;
  double scoreSum = 0, positives = 0, count = 0, taken = 0;
  int bin = 1;
  const auto& groups = ranking.groups();
  // Lowest score first, so the points run left to right.
  for (auto group = groups.rbegin(); group != groups.rend(); ++group) {
    const double size = static_cast<double>(group->positives + group->negatives);
    const double score = std::fmin(1.0, std::fmax(0.0, static_cast<double>(group->score)));
    scoreSum += score * size;
    positives += static_cast<double>(group->positives);
    count += size;
    taken += size;
    if (taken >= end(bin) || group + 1 == groups.rend()) {
      curve.push_back({scoreSum / count, positives / count, count});
      scoreSum = positives = count = 0;
      while (bin < bins && end(bin) <= taken) ++bin;
    }
  }
  return curve;
}

bool writeData(const std::string& fileName, const std::vector<Curve>& curves) {
  std::ofstream file(fileName);
  file.precision(9);
  for (const Curve& curve : curves) {
    // gnuplot cannot draw an empty data block: an invisible point stands in.
    if (curve.empty()) file << "-1 -1\n";
    for (const Point& point : curve) file << point.x << ' ' << point.y << '\n';
    file << "\n\n";
  }
  return static_cast<bool>(file.flush());
}

// A file name as a title shows it: control characters as '?', and a long one cut from the
// left (at a character boundary), so that the title stays one line.
std::string shown(const std::string& name) {
  const size_t longest = 48;
  size_t from = name.size() > longest ? name.size() - (longest - 3) : 0;
  while (from > 0 && from < name.size() &&
         (static_cast<unsigned char>(name[from]) & 0xC0) == 0x80) {
    ++from;
  }
  std::string result = from > 0 ? "..." : "";
  for (size_t i = from; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    result += c < 32 || c == 127 ? '?' : static_cast<char>(c);
  }
  return result;
}

// Text as a gnuplot string in single quotes, where only a quote needs care: it is doubled.
std::string quoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) result += c == '\'' ? std::string("''") : std::string(1, c);
  return result + "'";
}

std::string number(double value) {
  std::ostringstream text;
  text.precision(9);
  text << value;
  return text.str();
}

// "10 bins of 8956", or "3 bins of 120 to 88036" when ties made them unequal.
std::string binCounts(const Curve& bins) {
  double fewest = 0, most = 0;
  for (const Point& bin : bins) {
    fewest = fewest == 0 ? bin.count : std::fmin(fewest, bin.count);
    most = std::fmax(most, bin.count);
  }
  std::string text =
      std::to_string(bins.size()) + (bins.size() == 1 ? " bin of " : " bins of ") + number(fewest);
  return most > fewest ? text + " to " + number(most) : text;
}

// Each model's own dash type and point type, so that the charts read in black and white.
std::string styleOf(size_t m) {
  static const int pointTypes[] = {7, 5, 9, 13, 11, 1, 2, 3};
  return " dt " + std::to_string(m % 5 + 1) + " lw 2 pt " + std::to_string(pointTypes[m % 8]) +
         " ps 1.2";
}

// The script of the four charts: the data files hold one block per model, in the models'
// order. Model names are our own text; the file names in the titles are quoted.
std::string script(const std::vector<ChartModel>& models, const ChartLabels& labels,
                   double prevalence, const std::vector<Curve>& calibration) {
  const std::string subject = "of " + shown(labels.networkFile) + " on " + shown(labels.dataFile) +
                              " (" + labels.setName + " samples)";
  double negatives = 0;
  if (!models.empty()) negatives = static_cast<double>(models.front().ranking->negatives());
  // The log-scaled panel starts at the power of ten at or below one false positive, and
  // spans two decades at least (a set of few or no negatives still gets an axis).
  const double lowestRate =
      std::fmin(0.01, std::pow(10.0, std::floor(std::log10(1 / std::fmax(negatives, 1)))));
  std::ostringstream text;
  text << "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
          "  terminal = 'pngcairo noenhanced font \"sans,10\"'\n"
          "} else {\n"
          "  terminal = 'png noenhanced'\n"
          "}\n"
          "set grid\nset xrange [0:1]\nset yrange [0:1]\n";
  const auto curves = [&](const std::string& data, const std::string& figure, bool everyPoint) {
    std::string plot;
    for (size_t m = 0; m < models.size(); ++m) {
      if (models[m].calibrationOnly && figure != "Brier") continue;
      std::string title = models[m].name + " (" + figure + " ";
      if (figure == "Brier") {
        title += fixed(brierScore(*models[m].samples), 4) + ", " + binCounts(calibration[m]);
      } else if (figure == "PR AUC") {
        title += fixed(models[m].ranking->averagePrecision(), 4);
      } else {
        title += fixed(models[m].ranking->rocAuc(), 4);
      }
      // Every point of a calibration curve is a bin; the other curves carry 8 markers.
      plot += "'" + data + "' index " + std::to_string(m) + " with linespoints" + styleOf(m) +
              (everyPoint ? "" : " pn 8") + " title " + quoted(title + ")") + ", ";
    }
    return plot;
  };
  const std::string random = "x with lines dt 1 lw 1 lc rgb 'gray60' title 'random'";

  // ROC: the whole curve, and beside it the false-positive rate on a log scale, where a
  // rare class's useful part of the curve lies.
  text << "eval 'set terminal ' . terminal . ' size 1400,620'\n"
       << "set output 'roc.png'\n"
       << "set multiplot layout 1,2 title " << quoted("ROC curve " + subject) << "\n"
       << "set title 'false-positive rate on a linear scale'\n"
       << "set xlabel 'false-positive rate'\nset ylabel 'true-positive rate'\n"
       << "set key bottom right opaque\nplot " << curves("roc.dat", "AUC", false) << random << "\n"
       << "set title 'false-positive rate on a log scale'\nset logscale x\n"
       << "set xrange [" << number(lowestRate) << ":1]\nset format x '%g'\nunset key\n"
       << "plot " << curves("roc.dat", "AUC", false) << random << "\n"
       << "unset multiplot\nunset logscale x\nset xrange [0:1]\nset format x\nset key\nunset "
          "output\n";

  text << "eval 'set terminal ' . terminal . ' size 900,600'\n";
  // Precision-recall: the prior's line is the random choice's.
  text << "set output 'pr.png'\nset title " << quoted("Precision-recall curve " + subject)
       << "\nset xlabel 'recall (true-positive rate)'\nset ylabel 'precision'\n"
       << "set key bottom left opaque\nplot " << curves("pr.dat", "PR AUC", false)
       << number(prevalence)
       << " with lines dt 1 lw 1 lc rgb 'gray60' title 'random'\nunset output\n";

  text << "set output 'gains.png'\nset title " << quoted("Cumulative gains " + subject)
       << "\nset xlabel 'share of samples, by falling output'\n"
       << "set ylabel 'share of failed or cancelled jobs found'\nset key bottom right opaque\nplot "
       << curves("gains.dat", "AUC", false) << random << ", (x < " << number(prevalence)
       << " ? x / " << number(std::fmax(prevalence, 1e-9))
       << " : 1) with lines dt 3 lw 1 lc rgb 'black' title 'perfect'\nunset output\n";

  text
      << "set output 'calibration.png'\nset title "
      << quoted("Calibration " + subject + ", bins of about equal count") << "\n"
      << "set xlabel 'mean output in the bin'\n"
      << "set ylabel 'share of failed or cancelled jobs in the bin'\nset key top left opaque\nplot "
      << curves("calibration.dat", "Brier", true)
      << "x with lines dt 1 lw 1 lc rgb 'gray60' title 'perfectly calibrated'\nunset output\n";
  return text.str();
}

// gnuplot runs in the scratch folder and sees only its relative file names. SIGTERM, SIGHUP
// and SIGINT while it draws stop it, remove the scratch folder and end this process by the
// signal (files/signal_cleanup.h).
bool runGnuplot(const std::string& folder) {
  PendingCleanup gnuplot;
  pid_t child;
  {
    TerminationSignalsBlocked blocked;
    child = fork();
    if (child == 0) {
      // The parent's handler is not this process's business.
      for (int number : {SIGTERM, SIGHUP, SIGINT}) {
        struct sigaction action;
        sigaction(number, nullptr, &action);
        if (action.sa_handler != SIG_IGN) std::signal(number, SIG_DFL);
      }
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      const int devNull = open("/dev/null", O_RDONLY);
      if (devNull >= 0) dup2(devNull, 0);
      if (chdir(folder.c_str()) == 0) execlp("gnuplot", "gnuplot", "charts.gp", nullptr);
      _exit(kGnuplotNotStartedStatus);
    }
    if (child > 0) gnuplot = PendingCleanup(PendingCleanup::child, child);
  }
  int status = 0;
  while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  gnuplot.release();
  return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// gnuplot does not report a failed write (a full disk leaves a truncated picture and status
// 0), so a chart counts only when it is a whole PNG: the signature first, the end chunk last.
bool completePng(const std::string& fileName, std::string& bytes) {
  const std::string signature = "\x89PNG\r\n\x1a\n";
  const std::string end = std::string("IEND\xae\x42\x60\x82", 8);
  std::ifstream file(fileName, std::ios::binary);
  bytes.assign((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return bytes.size() >= signature.size() + end.size() && bytes.compare(0, 8, signature) == 0 &&
         bytes.compare(bytes.size() - end.size(), end.size(), end) == 0;
}

// The names gnuplot and this program make in the scratch folder.
std::vector<std::string> scratchFiles() {
  std::vector<std::string> names = {"charts.gp"};
  for (const std::string& name : chartNames()) {
    names.push_back(name + ".dat");
    names.push_back(name + ".png");
  }
  return names;
}

// The scratch folder and everything in it, removed on a termination signal until released.
struct ScratchCleanup {
  explicit ScratchCleanup(const std::string& path) : folder(PendingCleanup::folder, path) {
    for (const std::string& name : scratchFiles()) {
      files.emplace_back(PendingCleanup::file, path + "/" + name);
    }
  }
  PendingCleanup folder;
  std::vector<PendingCleanup> files;
};

void removeFolder(const std::string& folder) {
  for (const std::string& name : scratchFiles()) unlink((folder + "/" + name).c_str());
  rmdir(folder.c_str());
}

// The --charts messages for what the writer refuses at a chart's name.
std::string chartProblemMessage(const OutputProblem& problem) {
  switch (problem.code) {
    case OutputProblem::plantedLink:
      return "--charts: refusing to follow the symbolic link " + problem.where +
             " in the shared folder " + directoryOf(problem.where) + ": it belongs to another user";
    case OutputProblem::linkLoop:
      return "--charts: " + problem.name + ": a symbolic link loop";
    case OutputProblem::directory:
      return "--charts: " + problem.name + " is not a regular file";
    case OutputProblem::notWritable:
      return "--charts: cannot write " + problem.name;
    case OutputProblem::foreignKind:
      return "--charts: the chart " + problem.name + " would replace " + describeKind(problem.kind);
    case OutputProblem::writeFailed:
      return "Error writing file: " + problem.name;
    default:
      return "--charts: cannot write " + problem.name + ": " + problem.reason();
  }
}

}  // namespace

const std::vector<std::string>& chartNames() {
  static const std::vector<std::string> names = {"roc", "pr", "gains", "calibration"};
  return names;
}

std::string chartsProblem(const std::string& prefix, const std::vector<std::string>& inputs) {
  if (prefix.empty() || prefix.back() == '/') {
    return "--charts: '" + prefix + "' has no file name part; give a prefix such as out/run1";
  }
  // Every link on the way to the folder is judged, not only the charts' own names.
  const LinkWalk walk = followLinks(prefix);
  if (walk.end == LinkWalk::kPlanted) {
    OutputProblem planted;
    planted.code = OutputProblem::plantedLink;
    planted.where = walk.path;
    return chartProblemMessage(planted);
  }
  const std::string folder = folderOf(prefix);
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return "--charts: no folder " + folder;
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) return "--charts: cannot write into " + folder;
  for (const std::string& name : chartNames()) {
    // The rename that puts a chart in place would ignore what protects its target.
    const std::string chart = prefix + "-" + name + ".png";
    for (const std::string& input : inputs) {
      struct stat other;
      if (stat(chart.c_str(), &info) == 0 && stat(input.c_str(), &other) == 0 &&
          other.st_dev == info.st_dev && other.st_ino == info.st_ino) {
        return "--charts: the chart " + chart + " would replace the input file " + input;
      }
    }
    OutputTarget target;
    const OutputProblem problem = examineOutput(chart, FileKind::png, &target);
    if (problem.code != OutputProblem::none) return chartProblemMessage(problem);
    if (target.kind != OutputTarget::newName && target.kind != OutputTarget::regularFile) {
      return "--charts: " + chart + " is not a regular file";
    }
  }
  if (!gnuplotOnPath()) return "--charts: gnuplot not found (apt-get install gnuplot-nox)";
  return "";
}

void writeCharts(const std::string& prefix, const std::vector<ChartModel>& models,
                 const ChartLabels& labels) {
  // Beside the charts, in the folder they really land in.
  const LinkWalk walk = followLinks(prefix);
  std::string pattern = folderOf(walk.path) + "/.ombra-evaluate-charts.XXXXXX";
  std::unique_ptr<ScratchCleanup> cleanup;
  {
    TerminationSignalsBlocked blocked;
    if (mkdtemp(&pattern[0]) == nullptr) {
      fatal("Cannot create a folder beside " + prefix + ": " + systemReason(errno),
            kEvaluateFailureStatus);
    }
    cleanup.reset(new ScratchCleanup(pattern));
  }
  const std::string folder = pattern;
  std::vector<Curve> roc, gains, pr, calibration;
  double prevalence = 0;
  for (const ChartModel& model : models) {
    roc.emplace_back();
    gains.emplace_back();
    pr.emplace_back();
    curvesOf(*model.ranking, roc.back(), gains.back(), pr.back());
    calibration.push_back(calibrationOf(*model.samples));
    const double total =
        static_cast<double>(model.ranking->positives() + model.ranking->negatives());
    prevalence = total > 0 ? model.ranking->positives() / total : 0;
  }
  const auto fail = [&folder](const std::string& message) {
    removeFolder(folder);
    fatal(message, kEvaluateFailureStatus);
  };
  // The scratch files: errno, cleared before each, says why one could not be written.
  const auto writeFailed = [&fail](const std::string& name) {
    const std::string reason = systemReason(errno);
    fail("Error writing file: " + name + (reason.empty() ? "" : ": " + reason));
  };
  for (const auto& data :
       {std::make_pair("roc", &roc), std::make_pair("pr", &pr), std::make_pair("gains", &gains),
        std::make_pair("calibration", &calibration)}) {
    errno = 0;
    if (!writeData(folder + "/" + data.first + ".dat", *data.second)) {
      writeFailed(folder + "/" + data.first + ".dat");
    }
  }
  errno = 0;
  std::ofstream file(folder + "/charts.gp");
  file << script(models, labels, prevalence, calibration);
  if (!file.flush()) writeFailed(folder + "/charts.gp");
  file.close();
  if (!runGnuplot(folder)) fail("gnuplot failed to draw the charts");
  std::vector<std::string> pictures;
  for (const std::string& name : chartNames()) {
    pictures.emplace_back();
    if (!completePng(folder + "/" + name + ".png", pictures.back())) {
      fail("Error writing file: " + prefix + "-" + name + ".png (gnuplot left it incomplete)");
    }
  }
  // Each chart through the one writer: flushed to disk and renamed over the previous one.
  for (size_t k = 0; k < pictures.size(); ++k) {
    try {
      OutputFile chart(prefix + "-" + chartNames()[k] + ".png", FileKind::png, chartProblemMessage);
      chart.write(pictures[k].data(), pictures[k].size());
      chart.commit();
    } catch (const OutputFileError& error) {
      fail(error.what());
    }
  }
  removeFolder(folder);
}
