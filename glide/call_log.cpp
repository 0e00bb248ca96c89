#include "glide/call_log.h"

#include <cstdint>

#include "glide/call_recording.h"

namespace glide {

namespace {
std::vector<GlideCall> recorded;
int livingLogs = 0;
}  // namespace

bool recordingCalls() {
  return livingLogs > 0;
}

void recordCall(GlideCall call) {
  recorded.push_back(std::move(call));
}

void appendArgument(std::vector<double>& args, const GrVertex* vertex) {
  if (!vertex) {
    args.push_back(0);
    return;
  }
  args.insert(args.end(), {vertex->x, vertex->y, vertex->oow, vertex->tmuvtx[0].sow,
                           vertex->tmuvtx[0].tow, vertex->tmuvtx[0].oow});
}

void appendArgument(std::vector<double>& args, const GrTexInfo* info) {
  if (!info) {
    args.push_back(0);
    return;
  }
  args.insert(args.end(),
              {static_cast<double>(info->smallLod), static_cast<double>(info->largeLod),
               static_cast<double>(info->aspectRatio), static_cast<double>(info->format),
               static_cast<double>(reinterpret_cast<uintptr_t>(info->data))});
}

CallLog::CallLog() {
  recorded.clear();
  ++livingLogs;
}

CallLog::~CallLog() {
  --livingLogs;
  recorded.clear();
}

const std::vector<GlideCall>& CallLog::calls() const {
  return recorded;
}

void CallLog::clear() {
  recorded.clear();
}

std::vector<std::string> CallLog::names() const {
  std::vector<std::string> result;
  result.reserve(recorded.size());
  for (const GlideCall& call : recorded) result.push_back(call.name);
  return result;
}

}  // namespace glide
