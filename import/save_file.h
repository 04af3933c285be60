// Saving a file whole or not at all: written under a temporary name beside
// it, then renamed over it.
#pragma once

#include <cstddef>
#include <string>

// Writes `size` bytes to `path` through a temporary file in the same folder
// (made with mkstemp, written, flushed to disk, closed, renamed over
// `path`), so that a failure at any step (a missing folder, a full disk)
// leaves any earlier file at `path` as it was and no temporary file behind.
// A new file gets the mode the umask allows; a file replaced keeps its
// mode. False with one line in `error`, "PATH: reason", on failure.
bool saveFile(const std::string& path, const void* data, size_t size, std::string& error);
