#include "experiments/drivers.h"

#include "experiments/timing.h"

namespace {

struct TimedTrainer {
  int type;
  const char* suffix;
};

const TimedTrainer kParticleSwarmTrainers[] = {
    {0, "_PSO CPU.csv"},       {3, "_PSO local GPU.csv"},   {1, "_PSO private GPU.csv"},
    {4, "_PSO local CPU.csv"}, {2, "_PSO private CPU.csv"},
};

const TimedTrainer kBackPropagationTrainers[] = {
    {5, "_BP CPU.csv"},
    {6, "_BP OpenCL GPU.csv"},
    {7, "_BP OpenCL CPU.csv"},
};

const int kInputNeurons = 9;
const int kOutputNeurons = 1;

}  // namespace

// Training data files built from the first data set of trainOnDataSets.
const char kNeuronsInLayerData[] = "neurons_in_layer_KTH-SP2-1996-2.1-cln.swf";
const char kBPNeuronsInLayerData[] = "BP_num_neur_in_layers_10_KTH-SP2-1996-2.1-cln.swf";
const char kNumberOfLayersData[] = "num_layers_KTH-SP2-1996-2.1-cln.swf";
const char kSampleSizeData[] = "samples_KTH-SP2-1996-2.1-cln.swf";

const char kPSONeuronsInLayerParameters[] = "PSO_params_neurons_in_layer_timings.txt";
const char kBPNeuronsInLayerParameters[] = "BP_params.txt";
const char kPSONumberOfLayersParameters[] = "PSO_params_num_layers_timings.txt";
const char kPSOSampleSizeParameters[] = "PSO_params_samples_timings.txt";
const char kSampleSizeConfiguration[] = "nn_config_sample_size_timings.txt";

void runPSONeuronsInLayerTimings(int first, int step, int last, int iterations,
                                 const std::string& resultPrefix, int trainingSamples) {
  for (const TimedTrainer& trainer : kParticleSwarmTrainers) {
    timeNeuronsInLayer({trainer.type, first, step, last, resultPrefix + trainer.suffix, iterations,
                        kInputNeurons, kOutputNeurons, kNeuronsInLayerData,
                        kPSONeuronsInLayerParameters, trainingSamples, 1});
  }
}

void runBPNeuronsInLayerTimings(int first, int step, int last, int iterations,
                                const std::string& resultPrefix, int hiddenLayers,
                                int trainingSamples) {
  for (const TimedTrainer& trainer : kBackPropagationTrainers) {
    timeNeuronsInLayer({trainer.type, first, step, last, resultPrefix + trainer.suffix, iterations,
                        kInputNeurons, kOutputNeurons, kBPNeuronsInLayerData,
                        kBPNeuronsInLayerParameters, trainingSamples, hiddenLayers});
  }
}

void runPSONumberOfLayersTimings(int first, int step, int last, int iterations,
                                 const std::string& resultPrefix, int hiddenNeurons,
                                 int trainingSamples) {
  for (const TimedTrainer& trainer : kParticleSwarmTrainers) {
    timeNumberOfLayers({trainer.type, first, step, last, hiddenNeurons,
                        resultPrefix + trainer.suffix, iterations, kInputNeurons, kOutputNeurons,
                        kNumberOfLayersData, kPSONumberOfLayersParameters, trainingSamples});
  }
}

void runPSOSampleSizeTimings(int first, int step, int last, int iterations,
                             const std::string& resultPrefix) {
  for (const TimedTrainer& trainer : kParticleSwarmTrainers) {
    timeSampleSize(trainer.type, first, step, last, resultPrefix + trainer.suffix, iterations,
                   kSampleSizeConfiguration, kSampleSizeData, kPSOSampleSizeParameters);
  }
}
