#include "engine/morph_engine.h"

void MorphEngine::solveWarpField() {}
