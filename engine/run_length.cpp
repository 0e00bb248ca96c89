#include "engine/morph_engine.h"
#include "engine/run_length.h"

int32_t packUnits(int32_t, int32_t, const uint8_t*, uint8_t*) { return 0; }
int32_t unpackUnits(int32_t, int32_t, const uint8_t*, size_t, uint8_t*) { return 0; }
