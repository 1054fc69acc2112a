#include "experiments/drivers.h"

#include "experiments/timing.h"
#include "trainer_table/trainer_table.h"

namespace {

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
  for (const TrainerKind* trainer : driverSeries(TrainerFamily::particleSwarm)) {
    timeNeuronsInLayer({trainer->timingsType, first, step, last,
                        resultPrefix + trainer->resultSuffix, iterations, kInputNeurons,
                        kOutputNeurons, kNeuronsInLayerData, kPSONeuronsInLayerParameters,
                        trainingSamples, 1});
  }
}

void runBPNeuronsInLayerTimings(int first, int step, int last, int iterations,
                                const std::string& resultPrefix, int hiddenLayers,
                                int trainingSamples) {
  for (const TrainerKind* trainer : driverSeries(TrainerFamily::backPropagation)) {
    timeNeuronsInLayer({trainer->timingsType, first, step, last,
                        resultPrefix + trainer->resultSuffix, iterations, kInputNeurons,
                        kOutputNeurons, kBPNeuronsInLayerData, kBPNeuronsInLayerParameters,
                        trainingSamples, hiddenLayers});
  }
}

void runPSONumberOfLayersTimings(int first, int step, int last, int iterations,
                                 const std::string& resultPrefix, int hiddenNeurons,
                                 int trainingSamples) {
  for (const TrainerKind* trainer : driverSeries(TrainerFamily::particleSwarm)) {
    timeNumberOfLayers({trainer->timingsType, first, step, last, hiddenNeurons,
                        resultPrefix + trainer->resultSuffix, iterations, kInputNeurons,
                        kOutputNeurons, kNumberOfLayersData, kPSONumberOfLayersParameters,
                        trainingSamples});
  }
}

void runPSOSampleSizeTimings(int first, int step, int last, int iterations,
                             const std::string& resultPrefix) {
  for (const TrainerKind* trainer : driverSeries(TrainerFamily::particleSwarm)) {
    timeSampleSize(trainer->timingsType, first, step, last, resultPrefix + trainer->resultSuffix,
                   iterations, kSampleSizeConfiguration, kSampleSizeData, kPSOSampleSizeParameters);
  }
}
