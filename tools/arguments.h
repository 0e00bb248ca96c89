// The command line of one kzmtool command: options, their values, and the other arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class MorphEngine;

struct OptionRule {
  const char* name;  // "--quality", "-o"
  bool takesValue;
};

struct Arguments {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;  // in the order given
  bool help = false;

  bool has(const std::string& name) const;
  // The value of the option's last occurrence, if it was given.
  std::optional<std::string> value(const std::string& name) const;
};

// Reads args against the command's options: "--name value", "--name=value", "-o value"; "--"
// ends the options; "-h" and "--help" ask for help. False with a one-line reason otherwise.
bool parseArguments(std::span<char* const> args, std::span<const OptionRule> rules,
                    Arguments& parsed, std::string& error);

// A whole number in decimal from `low` to `high`; false for anything else ("1.5", "12abc",
// "", a number out of range).
bool parseWholeNumber(const std::string& text, int64_t low, int64_t high, int32_t& value);

// The playback settings that new and set take: --quality, --speed, --size, --mode.
inline constexpr OptionRule kSettingOptions[] = {
    {"--quality", true}, {"--speed", true}, {"--size", true}, {"--mode", true}};

// Checks every setting given and only then stores them all in the engine. False with a reason
// naming the option and its range when one is bad; the engine is then unchanged.
bool applySettings(const Arguments& parsed, MorphEngine& engine, std::string& error);

// "loop", "ping-pong", "random" for 0, 1, 2; the number itself for any other play mode.
std::string playModeName(int32_t playMode);
