#include "tools/arguments.h"

#include <cctype>
#include <charconv>

#include "engine/morph_engine.h"

namespace {

// The ranges the editor keeps its settings in.
constexpr int32_t kMinQuality = 1;
constexpr int32_t kMaxQualitySetting = kMaxQuality;
constexpr int32_t kMinSpeed = 1;
constexpr int32_t kMaxSpeed = 1000;
constexpr int32_t kMinPlaySize = 10;
constexpr int32_t kMaxPlaySize = 1200;

const char* const kPlayModeNames[] = {"loop", "ping-pong", "random"};

const OptionRule* findOption(std::span<const OptionRule> rules, const std::string& name) {
  for (const OptionRule& rule : rules) {
    if (name == rule.name) return &rule;
  }
  return nullptr;
}

bool checkSetting(const Arguments& parsed, const char* name, int32_t low, int32_t high,
                  int32_t& value, std::string& error) {
  const std::optional<std::string> text = parsed.value(name);
  if (!text) return true;
  if (parseWholeNumber(*text, low, high, value)) return true;
  error = std::string(name) + " takes a whole number from " + std::to_string(low) + " to " +
          std::to_string(high) + ", not '" + *text + "'";
  return false;
}

}  // namespace

bool Arguments::has(const std::string& name) const {
  return value(name).has_value();
}

std::optional<std::string> Arguments::value(const std::string& name) const {
  std::optional<std::string> found;
  for (const auto& [option, text] : options) {
    if (option == name) found = text;
  }
  return found;
}

bool parseArguments(std::span<char* const> args, std::span<const OptionRule> rules,
                    Arguments& parsed, std::string& error) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string arg = args[i];
    // A lone "-" and negative numbers are arguments, not options.
    const bool looksLikeOption = arg.size() >= 2 && arg[0] == '-' && !std::isdigit(arg[1] & 0xFF);
    if (optionsEnded || !looksLikeOption) {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      parsed.help = true;
      continue;
    }
    const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const OptionRule* rule = findOption(rules, name);
    if (!rule) {
      error = "unknown option " + name;
      return false;
    }
    if (!rule->takesValue) {
      if (equals != std::string::npos) {
        error = name + " takes no value";
        return false;
      }
      parsed.options.emplace_back(name, "");
    } else if (equals != std::string::npos) {
      parsed.options.emplace_back(name, arg.substr(equals + 1));
    } else if (i + 1 < args.size()) {
      parsed.options.emplace_back(name, args[++i]);
    } else {
      error = name + " needs a value";
      return false;
    }
  }
  return true;
}

bool parseWholeNumber(const std::string& text, int64_t low, int64_t high, int32_t& value) {
  int64_t number = 0;
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, number);
  if (text.empty() || status != std::errc() || stop != end) return false;
  if (number < low || number > high) return false;
  value = static_cast<int32_t>(number);
  return true;
}

bool applySettings(const Arguments& parsed, MorphEngine& engine, std::string& error) {
  int32_t quality = engine.quality;
  int32_t speed = engine.speed;
  int32_t playSize = engine.playSize;
  int32_t playMode = engine.playMode;
  if (!checkSetting(parsed, "--quality", kMinQuality, kMaxQualitySetting, quality, error) ||
      !checkSetting(parsed, "--speed", kMinSpeed, kMaxSpeed, speed, error) ||
      !checkSetting(parsed, "--size", kMinPlaySize, kMaxPlaySize, playSize, error)) {
    return false;
  }
  if (const std::optional<std::string> mode = parsed.value("--mode")) {
    playMode = -1;
    for (int32_t m = 0; m < 3; ++m) {
      if (*mode == kPlayModeNames[m]) playMode = m;
    }
    if (playMode < 0) {
      error = "--mode takes loop, ping-pong or random, not '" + *mode + "'";
      return false;
    }
  }
  engine.quality = quality;
  engine.speed = speed;
  engine.playSize = playSize;
  engine.playMode = playMode;
  return true;
}

std::string playModeName(int32_t playMode) {
  if (playMode >= 0 && playMode < 3) return kPlayModeNames[playMode];
  return std::to_string(playMode);
}
