// The synthetic log model: per-user and per-application failure tendencies, failures that
// repeat within a user+application pair, quick resubmissions that fail more often.

#include "samples/swf_generator.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

#include "samples/exception.h"

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

}  // namespace

void generateSwfLog(const SwfGeneratorOptions& options, std::ostream& out) {
  Random random(options.seed);
  const long long userCount = std::max(options.users, 1);
  // In 64 bits: twice the users need not fit an int.
  const long long applicationCount64 =
      std::max(options.applications > 0 ? options.applications : 2LL * options.users, 1LL);
  const long long applicationsPerUser =
      std::max(1LL, std::min<long long>(options.applicationsPerUser, applicationCount64));
  if (applicationCount64 > INT32_MAX) {
    throw Exception("Too many applications: " + std::to_string(applicationCount64) +
                    " (at most 2147483647)");
  }
  checkMemory(options.jobs, userCount, applicationsPerUser, applicationCount64);
  const int applicationCount = static_cast<int>(applicationCount64);

  std::vector<double> applicationFailure(applicationCount);
  std::vector<double> applicationRunTime(applicationCount);
  for (int a = 0; a < applicationCount; ++a) {
    applicationFailure[a] = 0.3 * random.uniform() * random.uniform();
    applicationRunTime[a] = 60.0 * std::exp(6.0 * random.uniform());  // 1 minute to 4 days
  }
  std::vector<User> users(userCount);
  std::vector<char> chosen(applicationCount, 0);  // the applications of the current user
  std::vector<double> cumulativeActivity;
  double totalActivity = 0;
  for (size_t u = 0; u < users.size(); ++u) {
    User& user = users[u];
    user.failure = 0.02 + 0.4 * std::pow(random.uniform(), 2.0);
    user.activity = 1.0 / std::pow(1.0 + u, 0.8);
    user.group = static_cast<int>(u % 17) + 1;
    user.applications.reserve(applicationsPerUser);
    while (static_cast<long long>(user.applications.size()) < applicationsPerUser) {
      int a = random.below(applicationCount);
      if (!chosen[a]) {
        chosen[a] = 1;
        user.applications.push_back(a);
      }
    }
    for (int a : user.applications) chosen[a] = 0;
    totalActivity += user.activity;
    cumulativeActivity.push_back(totalActivity);
  }

  out << "; Synthetic workload log written by swfgen\n"
      << "; Jobs: " << options.jobs << "  Users: " << users.size()
      << "  ApplicationsPerUser: " << options.applicationsPerUser
      << "  Applications: " << applicationCount << "  Seed: " << options.seed << "\n"
      << "; MaxProcs: 1024\n";

  std::unordered_map<uint64_t, History> pairs;
  std::vector<History> lastOfUser(users.size());
  double clock = 0;
  std::string line;
  for (long long number = 1; number <= options.jobs && out; ++number) {
    clock += std::floor(random.exponential(45.0));
    int u = static_cast<int>(std::lower_bound(cumulativeActivity.begin(), cumulativeActivity.end(),
                                              random.uniform() * totalActivity) -
                             cumulativeActivity.begin());
    u = std::min(u, static_cast<int>(users.size()) - 1);
    const User& user = users[u];
    // Each user runs a main application half the time, the others the rest.
    int choice =
        random.uniform() < 0.5 ? 0 : random.below(static_cast<int>(user.applications.size()));
    int a = user.applications[choice];
    History& pair = pairs[(static_cast<uint64_t>(u) << 32) | static_cast<uint32_t>(a)];

    double failure = 0.5 * user.failure + applicationFailure[a];
    if (pair.status != 1) failure += 0.35;  // failures come in runs
    if (lastOfUser[u].status != 1) failure += 0.1;
    if (clock - pair.submit < 600 && pair.status != 1) failure += 0.15;  // hasty resubmission
    failure = std::min(failure, 0.95);
    int status = 1;
    if (random.uniform() < failure) status = random.uniform() < 0.7 ? 0 : 5;

    int processors = 1 << random.below(7);
    double typical = applicationRunTime[a];
    double requested = std::ceil(typical * (1.5 + random.uniform()) / 60.0) * 60.0;
    double run = std::floor(typical * std::exp(random.uniform() - 0.5));
    if (status == 0) run = std::floor(run * random.uniform() * 0.3);
    if (status == 5) run = random.uniform() < 0.5 ? 0 : std::floor(run * random.uniform());
    run = std::min(run, requested);
    double wait = std::floor(random.exponential(120.0 * processors));
    double cpu = std::floor(run * (0.5 + 0.5 * random.uniform()));
    double memory = processors * (256 + 64 * random.below(8));
    double requestedMemory = random.uniform() < 0.3 ? -1 : memory * 2;

    line.clear();
    auto field = [&line](double value) {
      line += ' ';
      line += std::to_string(static_cast<long long>(value));
    };
    field(static_cast<double>(number));
    field(clock);
    field(wait);
    field(run);
    field(processors);
    field(cpu);
    field(memory);
    field(processors);
    field(requested);
    field(requestedMemory);
    field(status);
    field(u + 1);
    field(user.group);
    field(a + 1);
    field(1 + (processors > 16));
    field(1);
    field(-1);
    field(-1);
    out << (line.c_str() + 1) << '\n';

    pair.status = status;
    pair.submit = clock;
    lastOfUser[u].status = status;
    lastOfUser[u].submit = clock;
  }
}
