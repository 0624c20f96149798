// A part of the test server linked from a static library: its initialiser must have run by
// the time DllMain is called.
#include "test_server_parts.h"

namespace {

struct Answer {
  Answer() : value(42) {}
  long value;
};

Answer answerObject;

}  // namespace

long testServerAnswer() { return answerObject.value; }
