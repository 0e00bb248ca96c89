// Files that the tools write: whole or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes `bytes` to `path` through a temporary file in the same directory that is renamed over
// `path` only when every byte is on disk; an existing file stays as it was otherwise. False
// with the reason in *whyNot (the system's words: "Permission denied", ...) on failure.
bool writeFileWhole(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string* whyNot);

// Reads the whole file. False with the reason in *whyNot on failure.
bool readFileWhole(const std::string& path, std::string& contents, std::string* whyNot);
