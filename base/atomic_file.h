// Replacing a published file so that a reader in another process sees either the previous complete
// file or the new complete one: write a temporary sibling, (optionally) flush and fsync it, close
// it, then rename it over the target (one directory, so one file system). Nothing here prints: each
// call says which step failed and with which errno, and the caller words the failure.
#ifndef BASE_ATOMIC_FILE_H_
#define BASE_ATOMIC_FILE_H_

#include <sys/types.h>

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace base {

// The steps of a replace, in order.
enum class FileStep {
  kNone,    // nothing failed
  kOpen,    // the temporary file could not be created afresh
  kWrite,   // the contents could not be written whole
  kSync,    // the flush or the fsync failed
  kClose,   // the close failed
  kRename,  // the temporary file could not be renamed over the target
};

// What a replace step came to: ok(), or the step that failed and the errno it left (0 when the
// failure set none, such as an encoder that gave up).
struct FileResult {
  FileStep failed = FileStep::kNone;
  int error = 0;
  bool ok() const { return failed == FileStep::kNone; }
};

// Writes the contents into the open temporary file; false when it could not.
using ContentWriter = std::function<bool(std::FILE* file)>;

enum class Durability {
  kSynced,    // flush and fsync before the close
  kUnsynced,  // close only
};

// Creates a new regular file at temporary, opened with access (O_WRONLY or O_RDWR) and created
// with mode. A stale file, link or FIFO left at that name is removed first and the file is then
// created afresh (O_CREAT | O_EXCL | O_NOFOLLOW), so nothing planted there (a symbolic or hard
// link to a file elsewhere) is ever written through. Negative with errno set when the name cannot
// be cleared or the file cannot be created, and when what was opened is not a regular file.
int create_fresh_file(const std::string& temporary, int access, mode_t mode);

// create_fresh_file for binary writing (mode 0666 before the umask), as a FILE; null with errno
// set when it fails.
std::FILE* create_temporary_file(const std::string& temporary);

// Creates temporary afresh (create_temporary_file), lets write fill it, then flushes and fsyncs it
// (kSynced) and closes it. On a failure after the open the temporary file is deleted; nothing else
// is touched.
FileResult write_temporary_file(const std::string& temporary, const ContentWriter& write,
                                Durability durability);

enum class OnRenameFailure { kDeleteTemporary, kKeepTemporary };

// Renames temporary over path. On failure the temporary file is deleted or kept as asked.
FileResult rename_temporary_file(const std::string& temporary, const std::string& path,
                                 OnRenameFailure on_failure);

// write_temporary_file (synced) and rename_temporary_file in one; on any failure the temporary
// file is deleted and the published file is left as it was.
FileResult replace_file(const std::string& path, const std::string& temporary,
                        const ContentWriter& write);

// replace_file with contents as the whole new file.
FileResult replace_file(const std::string& path, const std::string& temporary,
                        std::string_view contents);

// Writes contents into a new sibling of path named path + infix + six random characters (mkostemp),
// gives it mode, fsyncs and closes it, then renames it over path. A unique name leaves nothing for
// another writer or a planted link to collide with. On any failure the temporary file is removed
// and path is left as it was; the result names the failed step (kOpen for the mkostemp or the
// chmod) and its errno.
FileResult replace_file_via_unique_temporary(const std::string& path, std::string_view infix,
                                             std::string_view contents, mode_t mode);

}  // namespace base

#endif  // BASE_ATOMIC_FILE_H_
