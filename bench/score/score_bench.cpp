// ombra-score end to end, each run a process of its own: a generated log of 1,000,000 jobs
// (about 500 users and 3,000 user+application pairs) scored with a network of the recipe's
// keys at the submit time, as a finished log and as a stream through a pipe, against tallis
// --as-of submit alone on the same log (the plain way to the same rows, before any network
// has seen them); then a stream fed one line at a time, each row awaited before the next line
// is written. The network is trained for one epoch: the cost of scoring does not depend on how
// good it is.
//
//   build/bench/score_bench [--benchmark_filter=...]
//
// Printed at the end: the finished log's time over the 3 s goal (target <= 1), the stream's
// lines per second over the 10,000 of the goal when lines come as fast as the pipe takes them
// and when each waits for the row before it (targets >= 1), and the finished log's time over
// tallis's.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tallis/swf_generator.h"
#include "tests/support/test_support.h"

namespace {

constexpr long long kJobs = 1000000;
constexpr double kGoalSeconds = 3;
constexpr double kGoalLinesPerSecond = 10000;
const char* kRecipeKeys =
    "logrCPU,logrT,logrM,lsu,lsa,lsua,lc,loglrt,logea,logec,fu,fa,fua,lognu,logna,lognua,ru,ra,"
    "rua,hourSin,hourCos,runu,runua,lsu2,lsua2";

const test_support::ScratchFolder& work() {
  static const test_support::ScratchFolder folder("score-bench");
  return folder;
}

std::string quoted(const std::string& text) { return test_support::shellQuoted(text); }

// The log, its training data file at the submit time and a network with its card.
void prepare() {
  const std::string log = work().file("jobs.swf");
  if (access(log.c_str(), R_OK) == 0) return;
  SwfGeneratorOptions options;
  options.jobs = kJobs;
  options.users = 500;
  options.applicationsPerUser = 6;
  options.applications = 1000;
  options.seed = 7;
  {
    std::ofstream out(log);
    generateSwfLog(options, out);
  }
  const std::string data = work().file("train.dat");
  test_support::runProgram(quoted(TALLIS_PATH) + " -i" + kRecipeKeys +
                           " -os -r60:20:20 -p0 -s1 --as-of submit " + quoted(log) + " " +
                           quoted(data));
  work().write("net.cfg", "25 50 1\n");
  work().write("bp.txt", "Learning rate: 0.03\nIterations: 1\nShuffle: 1\nSeed: 1\n");
  test_support::runProgram(quoted(OMBRA_PATH) + " BP net.cfg train.dat bp.txt net.bin", "",
                           work().path());
  test_support::writeFile(work().file("net.bin.card"), test_support::readFile(data + ".columns"));
}

// The wall time of a shell command line, its standard output discarded.
double timed(const std::string& commandLine) {
  const auto start = std::chrono::steady_clock::now();
  const test_support::ProgramRun run = test_support::runProgram(commandLine + " > /dev/null");
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run.status == 0 ? elapsed : -1;
}

// The wall time of count lines written one at a time, each after the row of the one before.
double roundTrips(int count) {
  int toChild[2], fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    close(toChild[1]);
    close(fromChild[0]);
    const std::string network = work().file("net.bin");
    execl(OMBRA_SCORE_PATH, OMBRA_SCORE_PATH, "--no-header", network.c_str(), "-",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  std::ifstream log(work().file("jobs.swf"));
  std::vector<std::string> lines;
  for (std::string line; lines.size() < static_cast<size_t>(count) && std::getline(log, line);) {
    if (line[0] != ';') lines.push_back(line + "\n");
  }
  const auto start = std::chrono::steady_clock::now();
  char buffer[4096];
  bool ok = true;
  for (const std::string& line : lines) {
    ok = ok && write(toChild[1], line.data(), line.size()) == static_cast<ssize_t>(line.size());
    // Until the row's line feed has come back.
    for (bool row = false; ok && !row;) {
      const ssize_t got = read(fromChild[0], buffer, sizeof buffer);
      ok = got > 0;
      for (ssize_t k = 0; k < got; ++k) row = row || buffer[k] == '\n';
    }
  }
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  close(toChild[1]);
  close(fromChild[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return ok ? elapsed : -1;
}

void registerRun(const std::string& name, std::function<double()> run, double items) {
  benchmark::RegisterBenchmark(name.c_str(),
                               [run, items](benchmark::State& state) {
                                 for (auto _ : state) {
                                   const double time = run();
                                   if (time < 0) {
                                     state.SkipWithError("the program failed");
                                     break;
                                   }
                                   state.SetIterationTime(time);
                                   state.counters["per_second"] = items / time;
                                 }
                               })
      ->Iterations(1)
      ->Repetitions(3)
      ->ReportAggregatesOnly(true)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  prepare();
  const std::string network = quoted(work().file("net.bin"));
  const std::string log = quoted(work().file("jobs.swf"));
  const std::string memory = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : work().path();
  const std::string rows = quoted(memory + "/score-bench-train.dat");
  std::map<std::string, std::vector<double>> runs;
  const auto collect = [&runs](const std::string& name, std::function<double()> run) {
    return [&runs, name, run] {
      const double time = run();
      if (time >= 0) runs[name].push_back(time);
      return time;
    };
  };
  registerRun("finished-log/1000000",
              collect("finished",
                      [=] { return timed(quoted(OMBRA_SCORE_PATH) + " " + network + " " + log); }),
              kJobs);
  registerRun("stream-pipe/1000000",
              collect("stream",
                      [=] {
                        return timed("cat " + log + " | " + quoted(OMBRA_SCORE_PATH) + " " +
                                     network + " -");
                      }),
              kJobs);
  registerRun("tallis-as-of-submit/1000000",
              collect("tallis",
                      [=] {
                        return timed(quoted(TALLIS_PATH) + " -i" + kRecipeKeys +
                                     " -os -r60:20:20 -p0 -s1 --as-of submit " + log + " " + rows);
                      }),
              kJobs);
  registerRun("stream-one-line-at-a-time/20000", collect("round", [] { return roundTrips(20000); }),
              20000);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  unlink((memory + "/score-bench-train.dat").c_str());

  const auto median = [&runs](const char* name) {
    std::vector<double>& values = runs[name];
    if (values.empty()) return -1.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  std::printf("\n");
  if (median("finished") > 0) {
    std::printf("finished log of 1,000,000 jobs: %.2f s, %.2fx the %.0f s goal (target <= 1)\n",
                median("finished"), median("finished") / kGoalSeconds, kGoalSeconds);
  }
  if (median("finished") > 0 && median("tallis") > 0) {
    std::printf("finished log / tallis --as-of submit on the same log: %.2fx the time\n",
                median("finished") / median("tallis"));
  }
  if (median("stream") > 0) {
    std::printf("stream through a pipe: %.0f lines/s, %.1fx the %.0f of the goal (target >= 1)\n",
                kJobs / median("stream"), kJobs / median("stream") / kGoalLinesPerSecond,
                kGoalLinesPerSecond);
  }
  if (median("round") > 0) {
    std::printf(
        "stream, each line awaiting the row before: %.0f lines/s, %.1fx the goal (target >= "
        "1)\n",
        20000 / median("round"), 20000 / median("round") / kGoalLinesPerSecond);
  }
  return 0;
}
