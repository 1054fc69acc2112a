// Filled in by the OpenCL work.
namespace opencl_placeholder {}
