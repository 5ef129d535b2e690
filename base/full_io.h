// Reads and writes on descriptors that retry when a signal interrupts them.
#ifndef BASE_FULL_IO_H_
#define BASE_FULL_IO_H_

#include <sys/types.h>

#include <cstddef>

namespace base {

// One read(2), retried while it fails with EINTR: the byte count, 0 at end of file, -1 on an error
// (errno says which).
ssize_t read_some(int fd, void* data, size_t size);

// Reads exactly size bytes. False on an error (errno set) or when the input ends first (errno 0).
bool read_fully(int fd, void* data, size_t size);

// Reads exactly size bytes from offset with pread(2), as read_fully does.
bool pread_fully(int fd, void* data, size_t size, off_t offset);

// Writes all size bytes. False on an error (errno set) or a write that wrote nothing (errno 0).
bool write_fully(int fd, const void* data, size_t size);

}  // namespace base

#endif  // BASE_FULL_IO_H_
