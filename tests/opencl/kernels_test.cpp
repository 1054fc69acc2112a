// The back-propagation kernels launched directly, under both work splits: hand-computed
// values, offsets, and work-items past the count leaving memory alone (launch sizes are
// rounded up to 64 or 256).
#include <CL/cl.h>

#include <cmath>
#include <utility>

#include "nn/network.h"
#include "opencl/cl_check.h"
#include "opencl/environment.h"
#include "opencl_test_support.h"

namespace {

using opencl_test::closeInSinglePrecision;

constexpr float kSentinel = 42.0f;

class BPKernelTest : public opencl_test::DeviceTargetTest {
 protected:
  void SetUp() override {
    DeviceTargetTest::SetUp();
    if (IsSkipped()) return;
    context.reset(createContext(deviceType(), device));
    cl_int status = CL_SUCCESS;
    queue.reset(clCreateCommandQueue(context, device, 0, &status));
    ASSERT_EQ(status, CL_SUCCESS);
    program.reset(createProgram(context, "NN_kernels.cl"));
    buildProgram(program, device);
  }

  ClMem buffer(const std::vector<float>& values) {
    cl_int status = CL_SUCCESS;
    cl_mem memory =
        clCreateBuffer(context, CL_MEM_READ_WRITE | CL_MEM_COPY_HOST_PTR,
                       sizeof(float) * values.size(), const_cast<float*>(values.data()), &status);
    EXPECT_EQ(status, CL_SUCCESS);
    return ClMem(memory);
  }
  std::vector<float> read(cl_mem memory, size_t count) {
    std::vector<float> values(count);
    EXPECT_EQ(clEnqueueReadBuffer(queue, memory, CL_TRUE, 0, sizeof(float) * count, values.data(),
                                  0, nullptr, nullptr),
              CL_SUCCESS);
    return values;
  }
  ClKernel kernel(const char* name) {
    cl_int status = CL_SUCCESS;
    ClKernel created(clCreateKernel(program, name, &status));
    EXPECT_EQ(status, CL_SUCCESS) << name;
    return created;
  }
  void launch(cl_kernel kernel, size_t global, size_t local) {
    ASSERT_EQ(
        clEnqueueNDRangeKernel(queue, kernel, 1, nullptr, &global, &local, 0, nullptr, nullptr),
        CL_SUCCESS);
    clFinish(queue);
  }

  cl_device_id device = nullptr;
  ClContext context;
  ClQueue queue;
  ClProgram program;
};

// Output layer of 1 neuron on 2 inputs read at offset 2: bias 0.5, weights 1 and -2 at weight
// offset 3; inputs 1 and 0.25 give s = 0.5 + 1 * 1 + 0.25 * (-2) = 1. The activation is
// sigmoid(1) = 0.7310586, the result unscaled to [5, 7]: 5 + 2 * 0.7310586 = 6.4621172.
TEST_P(BPKernelTest, ForwardLayerComputesOneNeuronAndLeavesTheRestAlone) {
  ClMem input = buffer({9, 9, 1.0f, 0.25f});
  ClMem weights = buffer({9, 9, 9, 0.5f, 1.0f, -2.0f});
  ClMem result = buffer(std::vector<float>(64, kSentinel));
  ClMem activations = buffer(std::vector<float>(64, kSentinel));
  ClMem ranges = buffer({5.0f, 7.0f});
  ClKernel forward = kernel("layer_propagate_forward");
  const int arguments[] = {2, 3, 4, 2, 1, 1};  // offsets, counts and flag in argument order
  ASSERT_EQ(setKernelBuffer(forward, 0, input), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(forward, 1, arguments[0]), CL_SUCCESS);
  ASSERT_EQ(setKernelBuffer(forward, 2, weights), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(forward, 3, arguments[1]), CL_SUCCESS);
  ASSERT_EQ(setKernelBuffer(forward, 4, result), CL_SUCCESS);
  ASSERT_EQ(setKernelBuffer(forward, 5, activations), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(forward, 6, arguments[2]), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(forward, 7, arguments[3]), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(forward, 8, arguments[4]), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(forward, 9, arguments[5]), CL_SUCCESS);
  ASSERT_EQ(setKernelBuffer(forward, 10, ranges), CL_SUCCESS);
  launch(forward, 64, 64);

  const std::vector<float> results = read(result, 64);
  const std::vector<float> recorded = read(activations, 64);
  EXPECT_TRUE(closeInSinglePrecision(NN::sigmoid(1.0f), recorded[4], 1e-7f, 2e-7f));
  EXPECT_TRUE(closeInSinglePrecision(5.0f + 2.0f * NN::sigmoid(1.0f), results[0], 1e-7f, 2e-7f));
  for (int i = 1; i < 64; ++i) EXPECT_EQ(results[i], kSentinel) << "result " << i;
  for (int i = 0; i < 64; ++i) {
    if (i != 4) {
      EXPECT_EQ(recorded[i], kSentinel) << "activation " << i;
    }
  }
}

// Output layer, one neuron with activation 0.5 and a target at the top of [5, 7]: delta =
// 0.25 * (1 - 0.5) = 0.125; with rate 0.02 the bias change is 0.0025 and the change of the
// weight on an input of -0.5 is -0.00125. Everything past the neuron's block stays.
TEST_P(BPKernelTest, BackwardOutputLayerOverwritesItsWeightChanges) {
  ClMem activations = buffer({-0.5f, 0.5f});
  ClMem upperDeltas = buffer(std::vector<float>(64, kSentinel));
  ClMem deltas = buffer(std::vector<float>(64, kSentinel));
  ClMem weights = buffer({0.0f, 0.0f});
  ClMem deltaWeights = buffer(std::vector<float>(8, kSentinel));
  ClMem targets = buffer({6.0f, 7.0f});
  ClMem ranges = buffer({5.0f, 7.0f});
  ClKernel backward = kernel("layer_propagate_backwards");
  ASSERT_EQ(setKernelBuffer(backward, 0, activations), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(backward, 1, 1), CL_SUCCESS);
  ASSERT_EQ(setKernelBuffer(backward, 2, upperDeltas), CL_SUCCESS);
  ASSERT_EQ(setKernelBuffer(backward, 3, deltas), CL_SUCCESS);
  ASSERT_EQ(setKernelBuffer(backward, 4, weights), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(backward, 5, 0), CL_SUCCESS);
  ASSERT_EQ(setKernelBuffer(backward, 6, deltaWeights), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(backward, 7, 1), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(backward, 8, 1), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(backward, 9, 1), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(backward, 10, 0.02f), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(backward, 11, 1), CL_SUCCESS);
  ASSERT_EQ(setKernelBuffer(backward, 12, targets), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(backward, 13, 1), CL_SUCCESS);  // second sample's target: 7
  ASSERT_EQ(setKernelBuffer(backward, 14, ranges), CL_SUCCESS);
  launch(backward, 64, 64);

  const std::vector<float> written = read(deltas, 64);
  EXPECT_EQ(written[0], 0.125f);
  for (int i = 1; i < 64; ++i) EXPECT_EQ(written[i], kSentinel) << "delta " << i;
  const std::vector<float> changes = read(deltaWeights, 8);
  EXPECT_EQ(changes[0], 0.02f * 0.125f);
  EXPECT_EQ(changes[1], 0.02f * 0.125f * -0.5f);
  for (int i = 2; i < 8; ++i) EXPECT_EQ(changes[i], kSentinel) << "change " << i;
}

// A hidden neuron (activation 0.5, one input of 1) under two upper neurons with deltas 1 and
// -(1 + 2^-13) and weights 1 + 2^-12 and 1 + 2^-13. The products are 1 + 2^-12 and
// -(1 + 2^-12 + 2^-26), rounded to -(1 + 2^-12): multiplied and added apart, the sum is exactly
// 0, and so are the delta and its weight changes. A compiler that fuses the second multiply
// into the add (ignoring FP_CONTRACT OFF) keeps the 2^-26 and leaves a delta of -2^-28.
TEST_P(BPKernelTest, BackwardHiddenLayerHasNoFusedMultiplyAdd) {
  const float a = std::ldexp(1.0f, -12), b = std::ldexp(1.0f, -13);
  ClMem activations = buffer({1.0f, 0.5f});
  ClMem upperDeltas = buffer({1.0f, -(1.0f + b)});
  ClMem deltas = buffer({kSentinel});
  // This layer's block (bias, weight), then the upper neurons' blocks (bias, weight on it).
  ClMem weights = buffer({0.0f, 0.0f, 0.0f, 1.0f + a, 0.0f, 1.0f + b});
  ClMem deltaWeights = buffer({kSentinel, kSentinel});
  ClMem unused = buffer({0.0f, 1.0f});
  ClKernel backward = kernel("layer_propagate_backwards");
  const std::pair<cl_uint, cl_mem> buffers[] = {{0, activations}, {2, upperDeltas},  {3, deltas},
                                                {4, weights},     {6, deltaWeights}, {12, unused},
                                                {14, unused}};
  for (const auto& [index, memory] : buffers) {
    ASSERT_EQ(setKernelBuffer(backward, index, memory), CL_SUCCESS);
  }
  // activation offset 1, weight offset 0, 1 input, 1 neuron, 2 upper neurons, rate 1, hidden
  const std::pair<cl_uint, int> values[] = {{1, 1}, {5, 0},  {7, 1}, {8, 1},
                                            {9, 2}, {11, 0}, {13, 0}};
  for (const auto& [index, value] : values)
    ASSERT_EQ(setKernelArg(backward, index, value), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(backward, 10, 1.0f), CL_SUCCESS);
  launch(backward, 64, 64);

  EXPECT_EQ(read(deltas, 1)[0], 0.0f) << "a fused multiply-add";
  EXPECT_EQ(read(deltaWeights, 2), std::vector<float>({0.0f, 0.0f}));
}

// 300 weights launch 512 work-items; only the first 300 weights change.
TEST_P(BPKernelTest, ApplyDeltaWeightsStopsAtTheCount) {
  std::vector<float> initial(512);
  for (int k = 0; k < 512; ++k) initial[k] = static_cast<float>(k);
  ClMem weights = buffer(initial);
  ClMem deltaWeights = buffer(std::vector<float>(512, 0.5f));
  ClKernel apply = kernel("apply_delta_weights");
  ASSERT_EQ(setKernelBuffer(apply, 0, weights), CL_SUCCESS);
  ASSERT_EQ(setKernelBuffer(apply, 1, deltaWeights), CL_SUCCESS);
  ASSERT_EQ(setKernelArg(apply, 2, 300), CL_SUCCESS);
  launch(apply, roundUp(300, 256), 256);

  const std::vector<float> updated = read(weights, 512);
  for (int k = 0; k < 512; ++k) {
    EXPECT_EQ(updated[k], k < 300 ? k + 0.5f : static_cast<float>(k)) << "weight " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, BPKernelTest, opencl_test::deviceTargets(),
                         opencl_test::targetName);

TEST(LaunchSizeTest, LaunchSizes) {
  EXPECT_EQ(roundUp(26, 256), 256u);
  EXPECT_EQ(roundUp(300, 256), 512u);
  EXPECT_EQ(roundUp(65, 64), 128u);
  EXPECT_EQ(roundUp(64, 64), 64u);
  EXPECT_EQ(roundUp(1, 64), 64u);
}

// GPU-split group sizes: multiples of the device's preferred multiple where one fits.
TEST(LaunchSizeTest, GroupSizesRoundDownToThePreferredMultiple) {
  EXPECT_EQ(roundDownToMultiple(64, 32), 64u);
  EXPECT_EQ(roundDownToMultiple(64, 48), 48u);
  EXPECT_EQ(roundDownToMultiple(44, 8), 40u);
  EXPECT_EQ(roundDownToMultiple(5, 8), 5u);  // smaller than one multiple: kept
  EXPECT_EQ(roundDownToMultiple(64, 0), 64u);
}

}  // namespace
