#pragma once

#include <CL/cl.h>

#include <string>

// The name of an OpenCL status, "CL_OUT_OF_RESOURCES"; nullptr for a value the OpenCL 1.2
// headers do not name (a newer version's or a vendor's own).
const char* clStatusName(cl_int status);

// What a failure message adds: the name, or "OpenCL status <n>" when there is none.
std::string describeClStatus(cl_int status);
