// Replacing a published file so that a reader in another process sees either the previous complete
// file or the new complete one: write a temporary sibling, flush, fsync, close, then rename it over
// the target (one directory, so one file system). On any failure the temporary file is deleted and
// the published file is left as it was.
#ifndef BRIDGES_COMMON_ATOMIC_FILE_H_
#define BRIDGES_COMMON_ATOMIC_FILE_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace bridges {

// ndi_bridge's replace: the temporary file is path + ".tmp". Failures are reported on standard
// error, in French ("Impossible d'ouvrir ...", "Impossible d'écrire ... de façon atomique.",
// "Impossible de remplacer ..."). Returns whether the file was replaced.
bool write_text_atomically(const std::string& path, std::string_view contents);

// rivlet's status replace: the temporary file is path + ".tmp"; only a failed open is reported
// ("cannot open <temporary path>" on standard error), every other failure is silent. Returns
// whether the file was replaced.
bool replace_rivlet_status(const std::string& path, std::string_view contents);

// Opens a new temporary file at temporary for binary writing. A stale file, link or FIFO left at
// that name is removed first and the file is then created afresh (O_CREAT | O_EXCL | O_NOFOLLOW),
// so nothing planted there (a symbolic or hard link to a file elsewhere) is ever written through.
// Null with errno set when the name cannot be cleared or the file cannot be created, and when what
// was opened is not a regular file.
std::FILE* create_temporary_file(const std::string& temporary);

// Flushes file, fsyncs it when the flush succeeded, and closes it (always). True when all of these
// succeeded.
bool sync_and_close(std::FILE* file);

// Renames temporary over path; on failure deletes temporary and returns false (errno is kept from
// the rename).
bool rename_or_discard(const std::string& temporary, const std::string& path);

}  // namespace bridges

#endif  // BRIDGES_COMMON_ATOMIC_FILE_H_
