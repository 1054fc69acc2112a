// The attribute table. A history attribute is written once, as a formula over a view of the
// job's history (LogOrderView or KnownAt); the table instantiates it for both views, so the
// log-order and the decision-time values come from the same arithmetic.

#include "sample_builder/attribute_table.h"

#include "sample_builder/decision_history.h"
#include "sample_builder/look_back_index.h"

namespace {

using K = HistoryKind;

// The status value (as "s") of a job of the history, 0 without one.
template <class Job>
double statusOf(const Job* job) {
  return job == nullptr ? 0.0 : jobStatusNeuronValue(job->status);
}

template <K kind>
struct LastStatus {
  template <class View>
  static double of(const View& view) {
    return statusOf(view.latest(kind));
  }
};

struct LastCancelled {
  template <class View>
  static double of(const View& view) {
    const auto* latest = view.latest(K::userWithApplication);
    return latest != nullptr && latest->status == 5 ? 1.0 : 0.0;
  }
};

struct LastRunTime {
  template <class View>
  static double of(const View& view) {
    const auto* latest = view.latest(K::userWithApplication);
    return latest == nullptr || latest->runTime == -1 ? 0.0 : latest->runTime;
  }
};

struct LastCpuTime {
  template <class View>
  static double of(const View& view) {
    const auto* latest = view.latest(K::userWithApplication);
    return latest == nullptr || latest->averageCPUTimeUsed == -1 ? 0.0 : latest->averageCPUTimeUsed;
  }
};

template <K kind>
struct SinceSubmission {
  template <class View>
  static double of(const View& view) {
    const auto* latest = view.latestSubmission(kind);
    return latest == nullptr ? kOneYear
                             : elapsedSubmitTime(view.job().submitTime, latest->submitTime);
  }
};

struct SinceFailure {
  template <class View>
  static double of(const View& view) {
    const auto* failure = view.latestFailureOfUser();
    return failure == nullptr ? kOneYear
                              : elapsedSubmitTime(view.job().submitTime, failure->submitTime);
  }
};

template <class Formula>
struct Logarithm {
  template <class View>
  static double of(const View& view) {
    return logScaled(Formula::of(view));
  }
};

template <K kind>
struct FailureShare {
  template <class View>
  static double of(const View& view) {
    return smoothedFailureShare(view.failed(kind), view.count(kind));
  }
};

template <K kind>
struct LogCount {
  template <class View>
  static double of(const View& view) {
    return logScaled(view.count(kind));
  }
};

template <K kind>
struct RecentFailures {
  template <class View>
  static double of(const View& view) {
    return view.recent(kind);
  }
};

template <K kind>
struct OutcomeRun {
  template <class View>
  static double of(const View& view) {
    const auto* latest = view.latest(kind);
    return latest == nullptr
               ? 0.0
               : signedRunLength(jobStatusNeuronValue(latest->status), view.outcomeRun(kind));
  }
};

template <K kind>
struct SecondLastStatus {
  template <class View>
  static double of(const View& view) {
    return statusOf(view.secondLatest(kind));
  }
};

// Only at a decision time: how long ago the latest outcome became known.

template <K kind>
struct SinceOutcome {
  static double of(const KnownAt& view) {
    const KnownOutcome* latest = view.latest(kind);
    if (latest == nullptr) return logScaled(kOneYear);
    const double elapsed = view.decisionTime() - latest->endTime;
    return logScaled(elapsed > kOneYear ? kOneYear : elapsed);
  }
};

// A row without its group and meaning still builds; AttributeTable's test names it.
AttributeRow direct(const char* key, AttributeFunction definition,
                    double (*value)(const JobData& job), KnownFrom known,
                    KeyGroup group = KeyGroup::none, const char* meaning = nullptr) {
  return {key, definition, value, nullptr, nullptr, Columns::one, known, group, meaning};
}

template <class Formula>
AttributeRow history(const char* key, AttributeFunction definition, KeyGroup group = KeyGroup::none,
                     const char* meaning = nullptr) {
  return {key,
          definition,
          nullptr,
          &Formula::template of<LogOrderView>,
          &Formula::template of<KnownAt>,
          Columns::one,
          KnownFrom::submit,
          group,
          meaning};
}

template <class Formula>
AttributeRow decisionOnly(const char* key, KeyGroup group, const char* meaning) {
  return {key,          nullptr,           nullptr, nullptr, &Formula::of,
          Columns::one, KnownFrom::submit, group,   meaning};
}

using F = KnownFrom;
using G = KeyGroup;

// In the order the keys are tested. The meaning is the line tallis --help shows.
std::vector<AttributeRow> buildTable() {
  return {
      direct(
          "sT", submitTime, [](const JobData& job) { return job.submitTime; }, F::submit, G::direct,
          "submit time, seconds from the log's start"),
      direct(
          "wT", waitTime, [](const JobData& job) { return job.waitTime; }, F::start, G::direct,
          "wait time, seconds"),
      direct(
          "s", status, [](const JobData& job) { return jobStatusNeuronValue(job.status); }, F::end,
          G::direct, "status: 1 failed or cancelled, 0 completed (the usual output)"),
      direct(
          "rCPU", requestedNumberOfProcessors,
          [](const JobData& job) { return static_cast<double>(job.requestedNumberOfProcessors); },
          F::submit, G::direct, "requested processors"),
      direct(
          "rT", requestedTime, [](const JobData& job) { return job.requestedTime; }, F::submit,
          G::direct, "requested time, seconds"),
      direct(
          "rM", requestedMemory, [](const JobData& job) { return job.requestedMemory; }, F::submit,
          G::direct, "requested memory"),
      {"uID", userID, nullptr, nullptr, nullptr, Columns::perUser, F::submit, G::direct,
       "one-hot user: one value per distinct user of the log"},
      history<LastStatus<K::user>>("lsu", lastStatusOfUser, G::lookBack,
                                   "status (as s) of the user's previous job"),
      history<LastStatus<K::application>>("lsa", lastStatusOfApplication, G::lookBack,
                                          "status of the application's previous job"),
      history<LastStatus<K::userWithApplication>>(
          "lsua", lastStatusOfUserWithApplication, G::lookBack,
          "status of the previous job of the same user and application"),
      history<LastCancelled>("lc", lastJobOfUserWithApplicationWasCanceled, G::lookBack,
                             "1 when that previous job was cancelled"),
      history<LastRunTime>("lrt", lastRunTimeOfUserWithApplication, G::lookBack,
                           "run time of that previous job (0 when unknown)"),
      history<LastCpuTime>("lCPUt", lastAverageCPUTimeOfUserWithApplication, G::lookBack,
                           "average CPU time of that previous job (0 when unknown)"),
      history<SinceSubmission<K::userWithApplication>>(
          "ea", elapsedTimeSinceUserLastUsedApplication, G::lookBack,
          "seconds since the user last used the application, at most a year"),
      history<SinceSubmission<K::user>>("ec", elapsedTimeSinceUserLastUsedCluster, G::lookBack,
                                        "seconds since the user last used the cluster, at most a "
                                        "year"),
      direct(
          "logwT", logWaitTime, [](const JobData& job) { return logScaled(job.waitTime); },
          F::start, G::encoding, "log(1 + wait time)"),
      direct(
          "logrCPU", logRequestedNumberOfProcessors,
          [](const JobData& job) { return logScaled(job.requestedNumberOfProcessors); }, F::submit,
          G::encoding, "log(1 + requested processors)"),
      direct(
          "logrT", logRequestedTime,
          [](const JobData& job) { return logScaled(job.requestedTime); }, F::submit, G::encoding,
          "log(1 + requested time)"),
      direct(
          "logrM", logRequestedMemory,
          [](const JobData& job) { return logScaled(job.requestedMemory); }, F::submit, G::encoding,
          "log(1 + requested memory)"),
      history<Logarithm<LastRunTime>>("loglrt", logLastRunTimeOfUserWithApplication, G::encoding,
                                      "log(1 + lrt)"),
      history<Logarithm<SinceSubmission<K::userWithApplication>>>(
          "logea", logElapsedTimeSinceUserLastUsedApplication, G::encoding, "log(1 + ea)"),
      history<Logarithm<SinceSubmission<K::user>>>("logec", logElapsedTimeSinceUserLastUsedCluster,
                                                   G::encoding, "log(1 + ec)"),
      direct(
          "hourSin", hourOfDaySine,
          [](const JobData& job) { return submitPhaseSine(job, kSecondsPerDay); }, F::submit,
          G::encoding, "sine of the submit time's hour of the day"),
      direct(
          "hourCos", hourOfDayCosine,
          [](const JobData& job) { return submitPhaseCosine(job, kSecondsPerDay); }, F::submit,
          G::encoding, "cosine of the submit time's hour of the day"),
      direct(
          "weekSin", dayOfWeekSine,
          [](const JobData& job) { return submitPhaseSine(job, kSecondsPerWeek); }, F::submit,
          G::encoding, "sine of the submit time's day of the week"),
      direct(
          "weekCos", dayOfWeekCosine,
          [](const JobData& job) { return submitPhaseCosine(job, kSecondsPerWeek); }, F::submit,
          G::encoding, "cosine of the submit time's day of the week"),
      history<FailureShare<K::user>>(
          "fu", failureShareOfUser, G::history,
          "share of the user's earlier jobs that failed or were cancelled"),
      history<FailureShare<K::application>>("fa", failureShareOfApplication, G::history,
                                            "the same for the application's earlier jobs"),
      history<FailureShare<K::userWithApplication>>(
          "fua", failureShareOfUserWithApplication, G::history,
          "the same for the user's earlier jobs of the application"),
      history<LogCount<K::user>>("lognu", logJobCountOfUser, G::history,
                                 "log(1 + the number of the user's earlier jobs)"),
      history<LogCount<K::application>>("logna", logJobCountOfApplication, G::history,
                                        "log(1 + the number of the application's earlier jobs)"),
      history<LogCount<K::userWithApplication>>(
          "lognua", logJobCountOfUserWithApplication, G::history,
          "log(1 + the number of the user's earlier jobs of the application)"),
      history<RecentFailures<K::user>>("ru", recentFailuresOfUser, G::history,
                                       "moving average of the user's earlier statuses"),
      history<RecentFailures<K::application>>("ra", recentFailuresOfApplication, G::history,
                                              "the same for the application"),
      history<RecentFailures<K::userWithApplication>>("rua", recentFailuresOfUserWithApplication,
                                                      G::history,
                                                      "the same for the user with the application"),
      history<Logarithm<SinceFailure>>("logefu", logElapsedTimeSinceUserLastFailed, G::history,
                                       "log(1 + seconds since the user's latest failed job)"),
      history<OutcomeRun<K::user>>("runu", outcomeRunOfUser, G::history,
                                   "run of equal outcomes the user's latest jobs end with"),
      history<OutcomeRun<K::userWithApplication>>(
          "runua", outcomeRunOfUserWithApplication, G::history,
          "the same for the user's jobs of the application"),
      history<SecondLastStatus<K::user>>("lsu2", secondLastStatusOfUser, G::lookBack,
                                         "status of the user's second latest earlier job"),
      history<SecondLastStatus<K::userWithApplication>>(
          "lsua2", secondLastStatusOfUserWithApplication, G::lookBack,
          "the same for the user with the application"),
      decisionOnly<SinceOutcome<K::user>>(
          "logeou", G::history,
          "with --as-of only: log(1 + seconds since the user's latest known outcome), at most a "
          "year"),
      decisionOnly<SinceOutcome<K::userWithApplication>>(
          "logeoua", G::history, "with --as-of only: the same for the user with the application"),
  };
}

}  // namespace

// Built on first use: rows are looked up while other files' statics are initialised.
const std::vector<AttributeRow>& attributeTable() {
  static const std::vector<AttributeRow> table = buildTable();
  return table;
}

const AttributeRow* findAttribute(const std::string& key) {
  for (const AttributeRow& row : attributeTable()) {
    if (key == row.key) return &row;
  }
  return nullptr;
}

AttributeRow definitionOnly(const char* key, AttributeFunction definition) {
  return {key,          definition,        nullptr,        nullptr, nullptr,
          Columns::one, KnownFrom::submit, KeyGroup::none, nullptr};
}

const char* keyGroupTitle(KeyGroup group) {
  switch (group) {
    case KeyGroup::direct:
      return "Direct (the job itself)";
    case KeyGroup::lookBack:
      return "Look-back (the latest earlier job of the same user, application or both)";
    case KeyGroup::history:
      return "History (every earlier job of the same user, application or both)";
    case KeyGroup::encoding:
      return "Encodings for networks (logarithms of heavy-tailed values, the calendar)";
    case KeyGroup::none:
      break;
  }
  return "Other";
}

size_t columnCount(const AttributeRow& row, const std::vector<JobData>& jobs) {
  if (row.columns == Columns::perUser) return userIdLookupTable.size();
  if (row.direct != nullptr || row.logOrder != nullptr || row.asOf != nullptr) return 1;
  return row.definition(jobs, 0).size();
}
