#include "nn/network.h"
