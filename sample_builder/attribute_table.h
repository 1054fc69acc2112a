#pragma once
// Every attribute key, one row each: the one place that knows a key's definition, its fast
// forms, its columns and when its value is known. tallis passes rows, never bare functions,
// so a new key is one row.

#include <string>
#include <vector>

#include "sample_builder/attributes.h"

class LogOrderView;  // look_back_index.h
class KnownAt;       // decision_history.h

// The three kinds of history an attribute can read.
enum class HistoryKind { user, application, userWithApplication };

// When a job's own value of a direct attribute is known: from its submission, from its start,
// or only once it has ended (its status).
enum class KnownFrom { submit, start, end };

// How many columns a key gives a sample: one, or one per user of userIdLookupTable ("uID").
enum class Columns { one, perUser };

// Where tallis --help lists a key: a field of the job itself, the previous job of the same user
// or application, counts and rates over all earlier jobs, or a form for networks (logarithms,
// the calendar on the unit circle). none only for rows built outside the table.
enum class KeyGroup { none, direct, lookBack, history, encoding };

struct AttributeRow {
  const char* key;
  // The definition: job i against the jobs before it in the log, one job at a time (a
  // backward scan). nullptr for a key that exists only at the moment of decision.
  AttributeFunction definition;
  // A direct attribute reads the job alone...
  double (*direct)(const JobData& job);
  // ...a history attribute reads what is known about the job's user and application: every
  // earlier job of the log (through LookBackIndex, O(1) per job), or what is known at the
  // job's decision time (through DecisionHistory). nullptr where a form does not exist.
  double (*logOrder)(const LogOrderView& view);
  double (*asOf)(const KnownAt& view);
  Columns columns;
  KnownFrom known;  // of a direct attribute's value; history rows are known at any decision
  KeyGroup group;
  const char* meaning;  // one line for tallis --help: what the value is
};

// Rows in the order they were asked for (a key may appear more than once).
using AttributeList = std::vector<const AttributeRow*>;

// Every row, in the order the keys are tested.
const std::vector<AttributeRow>& attributeTable();

// The row of a key, or nullptr when the key is not in the table.
const AttributeRow* findAttribute(const std::string& key);

// The heading of a group in tallis --help.
const char* keyGroupTitle(KeyGroup group);

// A row with only a definition, for an attribute outside the table (tests build such rows):
// the writer calls the definition for every job, and its width is that of job 0.
AttributeRow definitionOnly(const char* key, AttributeFunction definition);

// The number of values the row gives job 0 of jobs (one per user for "uID").
size_t columnCount(const AttributeRow& row, const std::vector<JobData>& jobs);
