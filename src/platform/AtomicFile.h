#pragma once

#include <cstddef>
#include <string>

#include "platform/ResultCodes.h"

// Replaces the file at `path` with `length` bytes at `data`: writes a new file beside it,
// flushes it to disk and renames it into place, so a crash or a failed write never leaves a
// half-written file and never damages the file it replaces. A symbolic link is written through
// to the file it names; a replaced file keeps its permission bits. Something at `path` that is
// not a regular file we may write is refused. RZ_OK, LINK_E_PARAMETER for an empty path or
// null data, LINK_E_FILE when any step fails (the old file is then untouched).
RzResult WriteFileAtomically(const std::string& path, const void* data, size_t length);
