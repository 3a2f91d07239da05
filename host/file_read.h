// Reading the files a user hands to the host (models, sessions, palettes):
// only regular files, and only up to a size the caller bounds, so that a
// device (/dev/zero), a pipe that never ends or a folder given by mistake
// is refused with a message instead of read until memory runs out or
// waited on forever.
#pragma once

#include <cstdint>
#include <string>

namespace HostUtil {

// Nothing but a check that `path` names a regular file (links followed);
// otherwise an error naming the path and what it is: "is a folder, not a
// model file", "is a device", "is a pipe (FIFO)", "is a socket", or the
// system's reason it cannot be opened. For readers that read the file their
// own way (mapped).
void RequireRegularFile(const std::string& path, const std::string& what);

// The whole text of the regular file at `path`. `what` names the file's role
// in messages ("model file"). A missing file, a folder, a device, a pipe or a
// socket, and a file larger than `max_bytes` are errors naming the path,
// what it is and the limit.
std::string ReadRegularFile(const std::string& path, const std::string& what,
                            std::uintmax_t max_bytes);

// A byte count as people read it: "512 bytes", "64 KiB", "1.5 GiB".
std::string DescribeBytes(std::uintmax_t bytes);

}  // namespace HostUtil
