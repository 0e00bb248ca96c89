// How the Glide entry points feed the call log (call_log.h): cheap to ask while no log lives.
#pragma once

#include <vector>

#include "glide/call_log.h"
#include "glide/glide.h"

namespace glide {

bool recordingCalls();
void recordCall(GlideCall call);

// The arguments of records, flattened as call_log.h describes.
void appendArgument(std::vector<double>& args, const GrVertex* vertex);
void appendArgument(std::vector<double>& args, const GrTexInfo* info);

}  // namespace glide
