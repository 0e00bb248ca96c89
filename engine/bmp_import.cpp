#include "engine/morph_engine.h"

std::unique_ptr<PictureImage> MorphEngine::importBmp(const std::string&) { return nullptr; }
