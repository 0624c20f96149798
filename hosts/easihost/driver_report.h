// What easihost prints about the driver and about a run.
#pragma once

#include "easi_interface.h"
#include "stream_session.h"

void printDriverDescription(IEasiDriver* driver);
void printStreamFigures(const EasiRunFigures& figures, uint32_t rate, LONG frames);
// One line in the benchmark's format, the columns asiohost and the JACK probe print.
void printBenchLine(const EasiRunFigures& figures, uint32_t rate, LONG frames);
