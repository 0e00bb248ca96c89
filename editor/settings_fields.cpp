#include "editor/settings_fields.h"

#include <limits>
#include <string_view>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

int32_t ReadFieldValue(const std::string& text) {
  const std::string_view read = std::string_view(text).substr(0, kFieldReadLimit);
  std::size_t i = 0;
  while (i < read.size() && IsBlank(read[i])) ++i;
  bool negative = false;
  if (i < read.size() && (read[i] == '-' || read[i] == '+')) {
    negative = read[i] == '-';
    ++i;
  }
  // Collected as a negative number, whose range reaches one further than the positive one.
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  int64_t value = 0;
  for (; i < read.size() && IsDigit(read[i]); ++i) {
    value = value * 10 - (read[i] - '0');
    if (value < kMin) value = kMin;  // saturated; further digits keep it there
  }
  if (!negative) {
    value = -value;
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(value);
}

int32_t ClampSetting(int32_t value, SettingRange range) {
  if (value > range.high) value = range.high;
  if (value < range.low) value = range.low;
  return value;
}

std::string FieldText(int32_t value) {
  return std::to_string(value);
}
