// A command's output, checked before anything is written, so that a forgotten or mistyped
// output name destroys nothing: an output that is one of the command's inputs is refused, and so
// is an existing file of another kind than the command writes, unless --force is given.
#pragma once

#include <span>
#include <string>

// Which existing files the output may replace without --force.
enum class ExistingOutput {
  anyFile,      // whatever stands there (mesh -o)
  projectOnly,  // the command writes a project: an empty file or a project (new, set -o)
  notAProject,  // the command writes something else: anything but a project (extract)
};

// The refusal, one line without the "kzmtool: " prefix, that names what would have been lost;
// empty when the output may be written. An output is an input when both lead to the same file
// (device and inode), so other spellings and hard links count. `force` allows replacing a file
// of another kind, never an input. Pipes and devices are never refused here.
std::string outputRefusal(const std::string& output, std::span<const std::string> inputs,
                          ExistingOutput rule, bool force);
