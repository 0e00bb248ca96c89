#include "glide/call_log.h"

namespace glide {

namespace {
std::vector<GlideCall> recorded;
}

CallLog::CallLog() { recorded.clear(); }
CallLog::~CallLog() { recorded.clear(); }
const std::vector<GlideCall>& CallLog::calls() const { return recorded; }
void CallLog::clear() { recorded.clear(); }
std::vector<std::string> CallLog::names() const {
  std::vector<std::string> result;
  for (const GlideCall& call : recorded) result.push_back(call.name);
  return result;
}

}  // namespace glide
