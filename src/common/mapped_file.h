// Reads a whole file through a read-only mapping, one view of a fixed size at a
// time, so that large files never need a buffer of their own.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace velmora {

// Hands every piece of the file to `consume` in order. False when the file
// cannot be opened or mapped (an empty file cannot be mapped either).
bool ReadThroughMapping(const std::wstring& path, size_t piece_size,
                        const std::function<void(const unsigned char*, size_t)>& consume);

}  // namespace velmora
