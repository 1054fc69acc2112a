// The synthetic log model: per-user and per-application failure tendencies, failures that
// repeat within a user+application pair, quick resubmissions that fail more often.

#include "tallis/swf_generator.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

#include "sample_builder/exception.h"

namespace {

// splitmix64: small, fast and identical everywhere, unlike the standard distributions.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)
  int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
  double exponential(double mean) { return -std::log(1.0 - uniform()) * mean; }

 private:
  uint64_t state_;
};

struct User {
  double failure;   // the user's own tendency to fail
  double activity;  // share of submissions, heavy-tailed
  std::vector<int> applications;
  int group;
};

struct History {
  int status = 1;         // of the latest job of the pair
  double submit = -1e18;  // of the latest job of the pair
};

// Refuses, before anything is allocated, options whose users, applications and pairs would not
// fit the machine's memory (a node of the pair table is taken as 64 bytes).
void checkMemory(long long jobs, long long users, long long applicationsPerUser,
                 long long applications) {
  const double pairs =
      std::min(static_cast<double>(jobs),
               static_cast<double>(users) * static_cast<double>(applicationsPerUser));
  const double bytes =
      static_cast<double>(users) * (sizeof(User) + sizeof(double) + sizeof(History) +
                                    static_cast<double>(applicationsPerUser) * sizeof(int)) +
      static_cast<double>(applications) * (2 * sizeof(double) + 1) + pairs * 64;
  const double memory =
      static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGE_SIZE));
  if (memory > 0 && bytes > memory) {
    throw Exception(
        "A log of " + std::to_string(users) + " users and " + std::to_string(applications) +
        " applications needs " + std::to_string(static_cast<long long>(bytes / (1 << 20))) +
        " MiB, more than the " + std::to_string(static_cast<long long>(memory / (1 << 20))) +
        " MiB of memory of this machine");
  }
}

// The sizes of a log: users, applications and the applications each user runs.
struct LogShape {
  long long users;
  int applications;
  long long applicationsPerUser;
};

LogShape shapeOf(const SwfGeneratorOptions& options) {
  const long long userCount = std::max(options.users, 1);
  // In 64 bits: twice the users need not fit an int.
  const long long applicationCount =
      std::max(options.applications > 0 ? options.applications : 2LL * options.users, 1LL);
  const long long applicationsPerUser =
      std::max(1LL, std::min<long long>(options.applicationsPerUser, applicationCount));
  if (applicationCount > INT32_MAX) {
    throw Exception("Too many applications: " + std::to_string(applicationCount) +
                    " (at most 2147483647)");
  }
  checkMemory(options.jobs, userCount, applicationsPerUser, applicationCount);
  return {userCount, static_cast<int>(applicationCount), applicationsPerUser};
}

// Every application's own failure tendency and typical run time.
struct Application {
  double failure;
  double runTime;
};

std::vector<Application> makeApplications(Random& random, int count) {
  std::vector<Application> applications(count);
  for (Application& application : applications) {
    application.failure = 0.3 * random.uniform() * random.uniform();
    application.runTime = 60.0 * std::exp(6.0 * random.uniform());  // 1 minute to 4 days
  }
  return applications;
}

// The users, and their activities summed up in user order: a user is drawn by where a uniform
// draw below the total falls.
struct Population {
  std::vector<User> users;
  std::vector<double> cumulativeActivity;
  double totalActivity = 0;

  int draw(Random& random) const {
    const int u =
        static_cast<int>(std::lower_bound(cumulativeActivity.begin(), cumulativeActivity.end(),
                                          random.uniform() * totalActivity) -
                         cumulativeActivity.begin());
    return std::min(u, static_cast<int>(users.size()) - 1);
  }
};

Population makePopulation(Random& random, const LogShape& shape) {
  Population population;
  population.users.resize(shape.users);
  std::vector<char> chosen(shape.applications, 0);  // the applications of the current user
  for (size_t u = 0; u < population.users.size(); ++u) {
    User& user = population.users[u];
    user.failure = 0.02 + 0.4 * std::pow(random.uniform(), 2.0);
    user.activity = 1.0 / std::pow(1.0 + u, 0.8);
    user.group = static_cast<int>(u % 17) + 1;
    user.applications.reserve(shape.applicationsPerUser);
    while (static_cast<long long>(user.applications.size()) < shape.applicationsPerUser) {
      int a = random.below(shape.applications);
      if (!chosen[a]) {
        chosen[a] = 1;
        user.applications.push_back(a);
      }
    }
    for (int a : user.applications) chosen[a] = 0;
    population.totalActivity += user.activity;
    population.cumulativeActivity.push_back(population.totalActivity);
  }
  return population;
}

// The 18 columns of one job, in column order, each as a whole number after one blank.
void appendColumns(std::string& line, std::initializer_list<double> values) {
  for (double value : values) {
    line += ' ';
    line += std::to_string(static_cast<long long>(value));
  }
}

// The jobs one after another: the clock, and the latest status of every user and pair.
class JobWriter {
 public:
  JobWriter(Random& random, const std::vector<Application>& applications,
            const Population& population)
      : random_(random),
        applications_(applications),
        population_(population),
        lastOfUser_(population.users.size()) {}

  // The line of job number, without its line feed (and without the blank before column 1).
  const char* next(long long number);

 private:
  int drawStatus(const User& user, const History& pair, const History& last, int a);

  Random& random_;
  const std::vector<Application>& applications_;
  const Population& population_;
  std::unordered_map<uint64_t, History> pairs_;
  std::vector<History> lastOfUser_;
  double clock_ = 0;
  std::string line_;
};

// A failure tendency grows with the user's and the application's, after a failure of the pair
// (failures come in runs) or of the user, and for a hasty resubmission after a failure.
int JobWriter::drawStatus(const User& user, const History& pair, const History& last, int a) {
  double failure = 0.5 * user.failure + applications_[a].failure;
  if (pair.status != 1) failure += 0.35;
  if (last.status != 1) failure += 0.1;
  if (clock_ - pair.submit < 600 && pair.status != 1) failure += 0.15;
  failure = std::min(failure, 0.95);
  if (random_.uniform() < failure) return random_.uniform() < 0.7 ? 0 : 5;
  return 1;
}

const char* JobWriter::next(long long number) {
  clock_ += std::floor(random_.exponential(45.0));
  const int u = population_.draw(random_);
  const User& user = population_.users[u];
  // Each user runs a main application half the time, the others the rest.
  const int choice =
      random_.uniform() < 0.5 ? 0 : random_.below(static_cast<int>(user.applications.size()));
  const int a = user.applications[choice];
  History& pair = pairs_[(static_cast<uint64_t>(u) << 32) | static_cast<uint32_t>(a)];
  const int status = drawStatus(user, pair, lastOfUser_[u], a);

  const int processors = 1 << random_.below(7);
  const double typical = applications_[a].runTime;
  const double requested = std::ceil(typical * (1.5 + random_.uniform()) / 60.0) * 60.0;
  double run = std::floor(typical * std::exp(random_.uniform() - 0.5));
  if (status == 0) run = std::floor(run * random_.uniform() * 0.3);
  if (status == 5) run = random_.uniform() < 0.5 ? 0 : std::floor(run * random_.uniform());
  run = std::min(run, requested);
  const double wait = std::floor(random_.exponential(120.0 * processors));
  const double cpu = std::floor(run * (0.5 + 0.5 * random_.uniform()));
  const double memory = processors * (256 + 64 * random_.below(8));
  const double requestedMemory = random_.uniform() < 0.3 ? -1 : memory * 2;

  line_.clear();
  appendColumns(
      line_,
      {static_cast<double>(number), clock_, wait, run, static_cast<double>(processors), cpu, memory,
       static_cast<double>(processors), requested, requestedMemory, static_cast<double>(status),
       static_cast<double>(u + 1), static_cast<double>(user.group), static_cast<double>(a + 1),
       static_cast<double>(1 + (processors > 16)), 1, -1, -1});
  pair.status = status;
  pair.submit = clock_;
  lastOfUser_[u].status = status;
  lastOfUser_[u].submit = clock_;
  return line_.c_str() + 1;
}

}  // namespace

void generateSwfLog(const SwfGeneratorOptions& options, std::ostream& out) {
  Random random(options.seed);
  const LogShape shape = shapeOf(options);
  const std::vector<Application> applications = makeApplications(random, shape.applications);
  const Population population = makePopulation(random, shape);

  out << "; Synthetic workload log written by swfgen\n"
      << "; Jobs: " << options.jobs << "  Users: " << population.users.size()
      << "  ApplicationsPerUser: " << options.applicationsPerUser
      << "  Applications: " << shape.applications << "  Seed: " << options.seed << "\n"
      << "; MaxProcs: 1024\n";
  JobWriter jobs(random, applications, population);
  for (long long number = 1; number <= options.jobs && out; ++number) {
    out << jobs.next(number) << '\n';
  }
}
