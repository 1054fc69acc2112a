#include "experiments/data_sets.h"

#include <cfloat>
#include <iostream>
#include <utility>

#include "experiments/network_factory.h"
#include "experiments/timing.h"
#include "nn/replace_file.h"
#include "trainer_table/trainer_table.h"
#include "trainers/pso.h"

// Seven public workload logs.
const char* const kDataSetNames[7] = {
    "KTH-SP2-1996-2.1-cln.swf",
    "LANL-CM5-1994-4.1-cln.swf",
    "LLNL-Thunder-2007-1.1-cln.swf",
    "CEA-Curie-2011-2.1-cln.swf",
    "SDSC-BLUE-2000-4.2-cln.swf",
    "METACENTRUM-2009-2.swf",
    "RICC-2010-2.swf",
};

void trainAndReport(NN& network) {
  const double seconds = network.train();
  std::cout << "Elapsed = " << seconds << " s" << std::endl;
  std::cout << "Test set MSE= " << static_cast<double>(network.testMeanSquaredError()) << std::endl;
  // truePositiveRate prints the count lines: they come before the rate's own line.
  const float rate = network.truePositiveRate();
  std::cout << "Test set TPR= " << static_cast<double>(rate) << std::endl;
}

void trainOnDataSets(const std::string& suffix, const std::string& configFile,
                     const std::string& parametersFile) {
  for (const char* name : kDataSetNames) {
    const std::string trainingDataFile = name + suffix;
    std::cout << "Training file = " << trainingDataFile << std::endl;
    // Both files are written after the training: checked before it.
    for (const auto& [output, kind] :
         {std::make_pair(trainingDataFile + "lift chart.cvs", FileKind::liftChart),
          std::make_pair(trainingDataFile + "weights.wgh", FileKind::network)}) {
      refuseSameFile({"output file", output}, {{"configuration file", configFile},
                                               {"training data file", trainingDataFile},
                                               {"parameters file", parametersFile}});
      checkReplaceable(output, kind);
    }
    const int type = trainerNamed("PSO_local_GPU")->timingsType;
    OwnedNetwork network = makeNetwork(type, configFile, trainingDataFile, parametersFile);
    trainAndReport(*network);
    network->writeLiftChart(trainingDataFile + "lift chart.cvs");
    network->save(trainingDataFile + "weights.wgh");
    network.reset();
  }
}

int indexOfFastest(const std::vector<double>& times) {
  int fastest = 0;
  double best = DBL_MAX;
  for (int j = 0; j < static_cast<int>(times.size()); ++j) {
    if (times[j] < best) {
      best = times[j];
      fastest = j;
    }
  }
  return fastest;
}

NN* fastestParticleSwarm(const std::string& configFile, const std::string& trainingDataFile,
                         const std::string& parametersFile) {
  const std::vector<const TrainerKind*> race = swarmRace();
  std::vector<OwnedNetwork> networks;
  for (const TrainerKind* trainer : race) {
    networks.push_back(
        makeNetwork(trainer->timingsType, configFile, trainingDataFile, parametersFile));
  }
  std::vector<double> times;
  for (size_t j = 0; j < networks.size(); ++j) {
    const double seconds = networks[j]->timeIterations(10);
    std::cout << "t[" << j << "]=" << seconds << std::endl;
    times.push_back(seconds);
  }
  const int fastest = indexOfFastest(times);
  for (int j = 0; j < static_cast<int>(networks.size()); ++j) {
    if (j != fastest) networks[j].reset();
  }
  return networks[fastest].release();
}

NN* createParticleSwarm(const std::string& configFile, const std::string& trainingDataFile,
                        const std::string& parametersFile) {
  return new NN_PSO(configFile, trainingDataFile, parametersFile);
}
