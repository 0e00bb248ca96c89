// How the dialog's three numeric fields turn into engine settings and back.
#pragma once

#include <cstdint>
#include <string>

// A field holds its setting as decimal text; the engine keeps it within a closed range.
struct SettingRange {
  int32_t low;
  int32_t high;
};
inline constexpr SettingRange kPlaySizeRange{10, 1200};
inline constexpr SettingRange kSpeedRange{1, 1000};
inline constexpr SettingRange kQualityRange{1, 64};

// A field is read with at most this many characters; the rest is never looked at.
inline constexpr std::size_t kFieldReadLimit = 75;

// The value of a field's text as atoi reads it: leading blanks skipped, an optional sign, then
// decimal digits up to the first other character; no digits give 0. Only the first 75
// characters count. A number beyond the 32-bit range gives the nearest end of that range
// (atoi itself leaves that case undefined).
int32_t ReadFieldValue(const std::string& text);

// The upper bound is applied first, then the lower one.
int32_t ClampSetting(int32_t value, SettingRange range);

// The decimal text a field gets for a value.
std::string FieldText(int32_t value);
