#pragma once

#include <cstddef>

// Heap blocks of this size and more get pages of their own.
constexpr size_t kLargeBlockBytes = 128 * 1024;

// For a program that logs in and out for days (the console): every heap block of
// kLargeBlockBytes or more keeps a mapping of its own, which goes back to the system whole when
// the block is freed. The C library starts out that way, but each such block freed raises its
// limit to the block's size, and from then on blocks of that size come from the heap: a
// connection's megabyte buffers (the screen image and its receive area) and the window's pixels
// at each change of size then sit among the small blocks made while a connection lives, which
// pin them, and every log-in and log-out left the heap larger. Call once at start.
void KeepLargeBlocksMapped();
