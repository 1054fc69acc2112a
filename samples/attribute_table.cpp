// The attribute table. A history attribute is written once, as a formula over a view of the
// job's history (LogOrderView or KnownAt); the table instantiates it for both views, so the
// log-order and the decision-time values come from the same arithmetic.

#include "samples/attribute_table.h"

#include "samples/decision_history.h"
#include "samples/look_back_index.h"

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

AttributeRow direct(const char* key, AttributeFunction definition,
                    double (*value)(const JobData& job), KnownFrom known) {
  return {key, definition, value, nullptr, nullptr, Columns::one, known};
}

template <class Formula>
AttributeRow history(const char* key, AttributeFunction definition) {
  return {key,
          definition,
          nullptr,
          &Formula::template of<LogOrderView>,
          &Formula::template of<KnownAt>,
          Columns::one,
          KnownFrom::submit};
}

template <class Formula>
AttributeRow decisionOnly(const char* key) {
  return {key, nullptr, nullptr, nullptr, &Formula::of, Columns::one, KnownFrom::submit};
}

using F = KnownFrom;

// In the order the keys are tested.
std::vector<AttributeRow> buildTable() {
  return {
      direct(
          "sT", submitTime, [](const JobData& job) { return job.submitTime; }, F::submit),
      direct(
          "wT", waitTime, [](const JobData& job) { return job.waitTime; }, F::start),
      direct(
          "s", status, [](const JobData& job) { return jobStatusNeuronValue(job.status); }, F::end),
      direct(
          "rCPU", requestedNumberOfProcessors,
          [](const JobData& job) { return static_cast<double>(job.requestedNumberOfProcessors); },
          F::submit),
      direct(
          "rT", requestedTime, [](const JobData& job) { return job.requestedTime; }, F::submit),
      direct(
          "rM", requestedMemory, [](const JobData& job) { return job.requestedMemory; }, F::submit),
      {"uID", userID, nullptr, nullptr, nullptr, Columns::perUser, F::submit},
      history<LastStatus<K::user>>("lsu", lastStatusOfUser),
      history<LastStatus<K::application>>("lsa", lastStatusOfApplication),
      history<LastStatus<K::userWithApplication>>("lsua", lastStatusOfUserWithApplication),
      history<LastCancelled>("lc", lastJobOfUserWithApplicationWasCanceled),
      history<LastRunTime>("lrt", lastRunTimeOfUserWithApplication),
      history<LastCpuTime>("lCPUt", lastAverageCPUTimeOfUserWithApplication),
      history<SinceSubmission<K::userWithApplication>>("ea",
                                                       elapsedTimeSinceUserLastUsedApplication),
      history<SinceSubmission<K::user>>("ec", elapsedTimeSinceUserLastUsedCluster),
      direct(
          "logwT", logWaitTime, [](const JobData& job) { return logScaled(job.waitTime); },
          F::start),
      direct(
          "logrCPU", logRequestedNumberOfProcessors,
          [](const JobData& job) { return logScaled(job.requestedNumberOfProcessors); }, F::submit),
      direct(
          "logrT", logRequestedTime,
          [](const JobData& job) { return logScaled(job.requestedTime); }, F::submit),
      direct(
          "logrM", logRequestedMemory,
          [](const JobData& job) { return logScaled(job.requestedMemory); }, F::submit),
      history<Logarithm<LastRunTime>>("loglrt", logLastRunTimeOfUserWithApplication),
      history<Logarithm<SinceSubmission<K::userWithApplication>>>(
          "logea", logElapsedTimeSinceUserLastUsedApplication),
      history<Logarithm<SinceSubmission<K::user>>>("logec", logElapsedTimeSinceUserLastUsedCluster),
      direct(
          "hourSin", hourOfDaySine,
          [](const JobData& job) { return submitPhaseSine(job, kSecondsPerDay); }, F::submit),
      direct(
          "hourCos", hourOfDayCosine,
          [](const JobData& job) { return submitPhaseCosine(job, kSecondsPerDay); }, F::submit),
      direct(
          "weekSin", dayOfWeekSine,
          [](const JobData& job) { return submitPhaseSine(job, kSecondsPerWeek); }, F::submit),
      direct(
          "weekCos", dayOfWeekCosine,
          [](const JobData& job) { return submitPhaseCosine(job, kSecondsPerWeek); }, F::submit),
      history<FailureShare<K::user>>("fu", failureShareOfUser),
      history<FailureShare<K::application>>("fa", failureShareOfApplication),
      history<FailureShare<K::userWithApplication>>("fua", failureShareOfUserWithApplication),
      history<LogCount<K::user>>("lognu", logJobCountOfUser),
      history<LogCount<K::application>>("logna", logJobCountOfApplication),
      history<LogCount<K::userWithApplication>>("lognua", logJobCountOfUserWithApplication),
      history<RecentFailures<K::user>>("ru", recentFailuresOfUser),
      history<RecentFailures<K::application>>("ra", recentFailuresOfApplication),
      history<RecentFailures<K::userWithApplication>>("rua", recentFailuresOfUserWithApplication),
      history<Logarithm<SinceFailure>>("logefu", logElapsedTimeSinceUserLastFailed),
      history<OutcomeRun<K::user>>("runu", outcomeRunOfUser),
      history<OutcomeRun<K::userWithApplication>>("runua", outcomeRunOfUserWithApplication),
      history<SecondLastStatus<K::user>>("lsu2", secondLastStatusOfUser),
      history<SecondLastStatus<K::userWithApplication>>("lsua2",
                                                        secondLastStatusOfUserWithApplication),
      decisionOnly<SinceOutcome<K::user>>("logeou"),
      decisionOnly<SinceOutcome<K::userWithApplication>>("logeoua"),
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
  return {key, definition, nullptr, nullptr, nullptr, Columns::one, KnownFrom::submit};
}

size_t columnCount(const AttributeRow& row, const std::vector<JobData>& jobs) {
  if (row.columns == Columns::perUser) return userIdLookupTable.size();
  if (row.direct != nullptr || row.logOrder != nullptr || row.asOf != nullptr) return 1;
  return row.definition(jobs, 0).size();
}
