#include "engine/morph_engine.h"

void MorphEngine::saveFrameTga(const std::string& path) { writeTgaFile(path, 24); }
int32_t MorphEngine::writeTgaFile(const std::string&, int32_t) { return 1; }
