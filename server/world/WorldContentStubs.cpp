#include "world/WorldContentStubs.h"

// Placeholder until its owner exists: nothing is sent.

// Vehicle handling rules of the models (handling rules module).
void SendHandlingRulesTo(CPlayer*) {}
