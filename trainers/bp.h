#pragma once

#include <memory>
#include <string>
#include <vector>

#include "nn/network.h"
#include "trainers/bp_epoch.h"
#include "trainers/parameters.h"

struct ValidationRecord;

// On-line back-propagation on the CPU. The training loop calls every step through the
// virtual table so that the OpenCL trainer can replace the steps and keep the loop.
class NN_BP : public virtual NN {
 public:
  NN_BP(const std::string& configurationFileName, const std::string& trainingDataFileName,
        const std::string& parametersFileName);
  ~NN_BP() override;

  double train() override;
  double timeIterations(int n) override;
  void printInfo() override;

  virtual void simulateSample(const std::vector<float>& inputs, int index);
  virtual double computeMSE(const std::vector<float>& inputs, const std::vector<float>& targets);
  virtual void initializeWeights();
  virtual void initializeDeltaWeights();
  virtual void propagateForward(const std::vector<float>& inputs, int index);
  virtual void propagateBackwards(const std::vector<float>& targets, int index);
  virtual void applyDeltaWeights();
  virtual void finishTraining();

  // feedForward that also records every neuron's value (input layer first) in record, which
  // holds numberOfNeurons() floats.
  void feedForwardWithActivations(const float* scaledInput, const float* weightArray, float* result,
                                  float* record);

  BPParameters parameters;

 protected:
  // Sized once by the constructor; the per-sample steps work in place on them.
  std::vector<float> deltas;        // maxLayerSize()
  std::vector<float> nextDeltas;    // maxLayerSize()
  std::vector<float> activations;   // numberOfNeurons()
  std::vector<float> deltaWeights;  // numberOfWeights()
  std::vector<float> velocities;    // numberOfWeights() with "Momentum", else empty

  // One epoch: every training sample once, in order (file order when empty). Here the four
  // steps through the virtual table, fused where that is bit-identical; a derived class that
  // can run a whole epoch at once (the OpenCL trainer's epoch kernel) overrides it, and must
  // leave exactly the weights the steps leave.
  virtual void trainEpoch(const std::vector<int>& order);

 private:
  // The phases of train().
  std::unique_ptr<BPEpoch> fusedEpoch();
  void checkValidation(ValidationRecord& record, int epoch);
  void printEpochProgress(const ValidationRecord& record, int epoch);
  // The status line on a terminal (nothing otherwise).
  void showEpochProgress(const ValidationRecord& record, int epoch, double seconds) const;
  // The error-term options of propagateBackwards.
  OutputError outputError() const;

  std::unique_ptr<BPEpoch> fused;  // during train(), where the fused epoch may stand in
};
