#include "engine/morph_engine.h"

int32_t MorphEngine::preparePlayback() { return 1; }
void MorphEngine::startNextTransition() {}
void MorphEngine::playFrame() {}
void MorphEngine::endPlayback() {}
