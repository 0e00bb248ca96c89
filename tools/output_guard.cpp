#include "tools/output_guard.h"

#include <sys/stat.h>

#include <cstdint>
#include <vector>

#include "engine/file_io.h"
#include "engine/project_file.h"

std::string outputRefusal(const std::string& output, std::span<const std::string> inputs,
                          ExistingOutput rule, bool force) {
  for (const std::string& input : inputs) {
    if (sameFile(output, input)) {
      return "will not write " + output + ": it is the input " + input + " and would be lost";
    }
  }
  struct stat info {};
  if (force || rule == ExistingOutput::anyFile || ::stat(output.c_str(), &info) != 0 ||
      !S_ISREG(info.st_mode) || info.st_size == 0) {
    return "";  // nothing there that could be lost; the write itself refuses a folder
  }
  std::vector<uint8_t> start;
  if (readFileStart(output, kProjectHeaderBytes, start, nullptr) != 0) return "";  // unreadable
  const bool isProject = startsAsProjectFile(start.data(), start.size());
  if (rule == ExistingOutput::projectOnly && !isProject) {
    return "will not replace " + output +
           ": it is not a project file and would be lost (--force replaces it)";
  }
  if (rule == ExistingOutput::notAProject && isProject) {
    return "will not replace " + output +
           ": it is a project file and would be lost (--force replaces it)";
  }
  return "";
}
