#include "engine/morph_engine.h"

int32_t MorphEngine::saveProject(const std::string&, std::string* whyNot) const {
  if (whyNot) *whyNot = "not built yet";
  return 1;
}
int32_t MorphEngine::loadProject(const std::string&, std::string* whyNot) {
  if (whyNot) *whyNot = "not built yet";
  return 1;
}
