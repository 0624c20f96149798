#include "server_state.h"

ServerState serverState = {nullptr, 0, 0};
