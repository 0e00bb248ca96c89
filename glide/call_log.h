// A record of the Glide calls made, with their arguments, for tests that check the order and
// the values of the calls. Off unless a CallLog object is alive; costs one test per call then.
#pragma once

#include <string>
#include <vector>

namespace glide {

// One Glide call. Integer and float arguments are kept as doubles (exact for every value the
// calls take); a vertex contributes its x, y, oow, sow, tow and tmu oow in that order; a
// GrTexInfo its five fields (data as the address); a pointer that is not a record, or a null
// record, 0.
struct GlideCall {
  std::string name;
  std::vector<double> args;
};

// While an object of this class lives, every Glide call is appended to calls().
// Only one may live at a time.
class CallLog {
 public:
  CallLog();
  ~CallLog();
  CallLog(const CallLog&) = delete;
  CallLog& operator=(const CallLog&) = delete;

  const std::vector<GlideCall>& calls() const;
  void clear();
  // The names of the calls in order, for comparing whole sequences at a glance.
  std::vector<std::string> names() const;
};

}  // namespace glide
