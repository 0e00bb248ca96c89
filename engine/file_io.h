// Whole-file reading and atomic replacement, shared by the project file, the BMP import and the
// TGA export. Failures come back as short reasons a user can read, such as
// "cannot open: No such file or directory".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads the file's first `maxBytes` bytes (all of it when shorter) into `bytes`. Returns 0, or
// nonzero with *whyNot set when the file cannot be opened or read (a directory cannot be read).
int32_t readFileStart(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes,
                      std::string* whyNot);

// Replaces `path` with `size` bytes, or creates it. The bytes go to a new file in the same
// directory, which is renamed over the old one only when every byte was written, so the old
// file is either left as it was or wholly replaced; on failure the new file is removed. A file
// that is replaced keeps its permissions; a symbolic link keeps pointing at the file it names.
// With `flushToDisk` the bytes also reach the disk before the rename, so that not even a power
// cut can cost the old file; frame files, written up to 60 a second, skip that wait.
// Returns 0, or nonzero with *whyNot set.
int32_t replaceFile(const std::string& path, const uint8_t* data, size_t size, std::string* whyNot,
                    bool flushToDisk = true);
