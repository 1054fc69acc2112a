// tallis's usage line and its help: every option, and every attribute key from the attribute
// table, so a new key is listed the moment it has its row.

#include <iostream>
#include <string>

#include "sample_builder/attribute_table.h"
#include "tallis/exit_status.h"
#include "tallis/tallis_cli.h"

void printUsageInformation() {
  std::cout << "Usage: ./tallis -i<input_features> -o<ouput_features> "
               "-r<training:validation:test> -pr<positives_ratio> input_file output_file"
            << std::endl;
}

namespace {

// "  key       meaning", the key padded to width.
void printEntry(const std::string& name, const std::string& meaning, size_t width) {
  std::string line = "  " + name;
  line.resize(std::max(line.size() + 1, width + 2), ' ');
  std::cout << line << meaning << '\n';
}

}  // namespace

void printTallisHelp() {
  printUsageInformation();
  std::cout
      << "\nReads a workload log in the Standard Workload Format (plain or gzip-compressed; - for\n"
         "standard input) and writes a training data file for ombra (- for standard output;\n"
         "the progress lines then go to standard error).\n\n"
         "Options (a value attached, -p0.5, or as the next argument, -p 0.5):\n";
  const size_t optionWidth = 16;
  printEntry("-i KEYS", "input attribute keys, comma-separated, in this order", optionWidth);
  printEntry("-o KEYS", "output attribute keys, usually s", optionWidth);
  printEntry("-r T:V:S", "weights of the split into training, validation and test", optionWidth);
  printEntry("", "samples, in log order, such as 60:20:20", optionWidth);
  printEntry("-p RATIO", "positives ratio in [0, 1] (the usage line's -pr): random", optionWidth);
  printEntry("", "completed jobs are deleted from the training and validation", optionWidth);
  printEntry("", "part until failed or cancelled jobs make up this share;", optionWidth);
  printEntry("", "0 keeps every job", optionWidth);
  printEntry("-s SEED", "optional: seed of those deletions, 0 to 4294967295, so the", optionWidth);
  printEntry("", "same command writes the same file", optionWidth);
  printEntry("-t, --as-of T", "optional: the decision time, log (the default), submit or",
             optionWidth);
  printEntry("", "start: inputs from what is known about a job at that moment", optionWidth);
  printEntry("--list-keys", "the attribute keys, one a line", optionWidth);
  printEntry("-h, --help", "this help", optionWidth);
  printEntry("--version", "the version", optionWidth);
  std::cout
      << "\nAttribute keys (look-back and history keys see only earlier jobs that were kept):\n";
  const size_t keyWidth = 9;
  for (KeyGroup group :
       {KeyGroup::direct, KeyGroup::lookBack, KeyGroup::history, KeyGroup::encoding}) {
    std::cout << keyGroupTitle(group) << ":\n";
    for (const AttributeRow& row : attributeTable()) {
      if (row.group == group) printEntry(row.key, row.meaning ? row.meaning : "", keyWidth);
    }
  }
  std::cout << "\nExample (scripts/train-recipe.sh runs the recommended recipe, then ombra):\n"
               "  tallis -ilsu,lsua,fu,fua,logrT,logec -os -r60:20:20 -p0 -s1 log.swf.gz "
               "train.dat\n\n"
               "Exit status: "
            << tallis_status::kDone << " the file was written; " << tallis_status::kFailure
            << " an error, named on standard error;\n"
            << tallis_status::kUsage
            << " a command line that cannot be understood (too few arguments, a missing or\n"
               "unknown option).\n"
            << std::flush;
}
