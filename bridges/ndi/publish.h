// How ndi_bridge publishes its files, and what it says when that fails: the JSON documents
// through "<path>.tmp", the preview through "app/static/ndi_preview.tmp.jpg". The messages go to
// standard error, in French, as the host's logs expect them.
#ifndef BRIDGES_NDI_PUBLISH_H_
#define BRIDGES_NDI_PUBLISH_H_

#include <string>
#include <string_view>

#include "base/atomic_file.h"

namespace ndi_bridge {

inline constexpr char kPreviewPath[] = "app/static/ndi_preview.jpg";
inline constexpr char kPreviewTemporaryPath[] = "app/static/ndi_preview.tmp.jpg";

// Replaces path with contents through path + ".tmp", synced. Reports "Impossible d'ouvrir <tmp>:
// <error>" when the temporary file cannot be opened, "Impossible d'écrire <path> de façon
// atomique." when writing, syncing or closing it failed and "Impossible de remplacer <path>:
// <error>" when the rename failed; the temporary file is deleted in the last two cases. True when
// the file was replaced.
bool write_text_atomically(const std::string& path, std::string_view contents);

// Step 1 of the preview replace: write fills temporary, which is then closed, without a flush or
// fsync of its own. A temporary file that cannot be opened is skipped silently; a failed write or
// close reports "Impossible d'écrire <path> de façon atomique." and deletes it. True when the
// temporary file is ready.
bool write_preview_temporary(const base::ContentWriter& write,
                             const std::string& temporary = kPreviewTemporaryPath,
                             const std::string& path = kPreviewPath);

// Step 2: renames temporary over path. A failed rename reports "Impossible de remplacer <path>:
// <error>" and leaves the temporary file for the next preview to overwrite.
bool publish_preview_temporary(const std::string& temporary = kPreviewTemporaryPath,
                               const std::string& path = kPreviewPath);

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_PUBLISH_H_
