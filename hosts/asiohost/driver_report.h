// Prints what a driver reports: name, version, error text, channels, latencies, buffer sizes,
// sample rates and clock sources.
#pragma once

#include "iasio.h"

void printDriverReport(IASIO* asio);
