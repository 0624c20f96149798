// Vexameter: the Vexa-o-meter window.
#include "meter_app.h"

wxIMPLEMENT_APP(MeterApp);
