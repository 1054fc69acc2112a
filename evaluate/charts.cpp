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

#include "files/output_file.h"
#include "files/paths.h"
#include "files/signal_cleanup.h"
#include "nn/fatal.h"

namespace {

struct Point {
  double x, y;
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
// an axis from the last kept one, and the last point always, so the drawing is exact to a
// fraction of a pixel.
void keep(Curve& curve, Point point, bool last) {
  const double step = 1.0 / 1500;
  if (curve.empty() || last || std::fabs(point.x - curve.back().x) >= step ||
      std::fabs(point.y - curve.back().y) >= step) {
    curve.push_back(point);
  }
}

// ROC: (false-positive rate, true-positive rate); gains: (share of samples taken by falling
// score, share of positives found); precision-recall: (recall, precision), at every
// distinct score.
void curvesOf(const Ranking& ranking, Curve& roc, Curve& gains, Curve& pr) {
  const double positives = static_cast<double>(ranking.positives());
  const double negatives = static_cast<double>(ranking.negatives());
  const double total = positives + negatives;
  roc.push_back({0, 0});
  gains.push_back({0, 0});
  double truePositives = 0, falsePositives = 0;
  const auto& groups = ranking.groups();
  for (size_t g = 0; g < groups.size(); ++g) {
    truePositives += groups[g].positives;
    falsePositives += groups[g].negatives;
    const bool last = g + 1 == groups.size();
    if (negatives > 0 && positives > 0) {
      keep(roc, {falsePositives / negatives, truePositives / positives}, last);
    }
    if (positives > 0) {
      keep(gains, {(truePositives + falsePositives) / total, truePositives / positives}, last);
      keep(pr, {truePositives / positives, truePositives / (truePositives + falsePositives)}, last);
    }
  }
}

// Ten equal bins of the score clipped to [0, 1]: mean score against share of positives.
Curve calibrationOf(const ScoredSamples& samples) {
  const int bins = 10;
  std::vector<double> scoreSum(bins, 0), positives(bins, 0), count(bins, 0);
  for (size_t i = 0; i < samples.scores.size(); ++i) {
    const double p = std::fmin(1.0, std::fmax(0.0, samples.scores[i]));
    const int bin = std::min(bins - 1, static_cast<int>(p * bins));
    scoreSum[bin] += p;
    positives[bin] += samples.positive[i];
    count[bin] += 1;
  }
  Curve curve;
  for (int b = 0; b < bins; ++b) {
    if (count[b] > 0) curve.push_back({scoreSum[b] / count[b], positives[b] / count[b]});
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

// Model names are our own text; nothing from the command line enters the script.
std::string script(const std::vector<ChartModel>& models, const std::string& setName,
                   double prevalence) {
  std::ostringstream text;
  text << "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
          "  set terminal pngcairo size 900,600 noenhanced font 'sans,10'\n"
          "} else {\n"
          "  set terminal png size 900,600 noenhanced\n"
          "}\n"
          "set grid\nset xrange [0:1]\nset yrange [0:1]\n";
  struct Chart {
    const char* name;
    const char* title;
    const char* x;
    const char* y;
    const char* key;
    std::string reference;
  };
  const Chart charts[] = {
      {"roc", "ROC curve", "false-positive rate", "true-positive rate", "bottom right",
       "x with lines dt 2 lc rgb 'gray' title 'random'"},
      {"pr", "Precision-recall curve", "recall (true-positive rate)", "precision", "top right",
       std::to_string(prevalence) + " with lines dt 2 lc rgb 'gray' title 'random'"},
      {"gains", "Cumulative gains", "share of samples, by falling output",
       "share of failed or cancelled jobs found", "bottom right",
       "x with lines dt 2 lc rgb 'gray' title 'random', (x < " + std::to_string(prevalence) +
           " ? x / " + std::to_string(std::fmax(prevalence, 1e-9)) +
           " : 1) with lines dt 3 lc rgb 'black' title 'perfect'"},
      {"calibration", "Calibration (ten bins of the output)", "mean output in the bin",
       "share of failed or cancelled jobs in the bin", "top left",
       "x with lines dt 2 lc rgb 'gray' title 'perfectly calibrated'"},
  };
  for (const Chart& chart : charts) {
    const std::string style = std::string(chart.name) == "calibration" ? "linespoints" : "lines";
    text << "set output '" << chart.name << ".png'\n"
         << "set title '" << chart.title << ", " << setName << " samples'\n"
         << "set xlabel '" << chart.x << "'\nset ylabel '" << chart.y << "'\n"
         << "set key " << chart.key << "\nplot ";
    for (size_t m = 0; m < models.size(); ++m) {
      text << "'" << chart.name << ".dat' index " << m << " with " << style << " lw 2 title '"
           << models[m].name << "', ";
    }
    text << chart.reference << "\nunset output\n";
  }
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
      _exit(127);
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
  explicit ScratchCleanup(const std::string& folder) : folder(PendingCleanup::folder, folder) {
    for (const std::string& name : scratchFiles()) {
      files.emplace_back(PendingCleanup::file, folder + "/" + name);
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
                 const std::string& setName) {
  // Beside the charts, in the folder they really land in.
  const LinkWalk walk = followLinks(prefix);
  std::string pattern = folderOf(walk.path) + "/.ombra-evaluate-charts.XXXXXX";
  std::unique_ptr<ScratchCleanup> cleanup;
  {
    TerminationSignalsBlocked blocked;
    if (mkdtemp(&pattern[0]) == nullptr) fatal("Cannot create a folder beside " + prefix, 1);
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
    fatal(message, 1);
  };
  for (const auto& data :
       {std::make_pair("roc", &roc), std::make_pair("pr", &pr), std::make_pair("gains", &gains),
        std::make_pair("calibration", &calibration)}) {
    if (!writeData(folder + "/" + data.first + ".dat", *data.second)) {
      fail("Error writing file: " + folder + "/" + data.first + ".dat");
    }
  }
  std::ofstream file(folder + "/charts.gp");
  file << script(models, setName, prevalence);
  if (!file.flush()) fail("Error writing file: " + folder + "/charts.gp");
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
