#include "bridges/ndi/publish.h"

#include <cstdio>
#include <cstring>

namespace ndi_bridge {

namespace {

void report_not_written(const std::string& path) {
  std::fprintf(stderr, "Impossible d'écrire %s de façon atomique.\n", path.c_str());
}

void report_not_replaced(const std::string& path, int error) {
  std::fprintf(stderr, "Impossible de remplacer %s: %s\n", path.c_str(), std::strerror(error));
}

}  // namespace

bool write_text_atomically(const std::string& path, std::string_view contents) {
  const std::string temporary = path + ".tmp";
  const base::FileResult result = base::replace_file(path, temporary, contents);
  switch (result.failed) {
    case base::FileStep::kNone:
      return true;
    case base::FileStep::kOpen:
      std::fprintf(stderr, "Impossible d'ouvrir %s: %s\n", temporary.c_str(),
                   std::strerror(result.error));
      return false;
    case base::FileStep::kRename:
      report_not_replaced(path, result.error);
      return false;
    case base::FileStep::kWrite:
    case base::FileStep::kSync:
    case base::FileStep::kClose:
      report_not_written(path);
      return false;
  }
  return false;
}

bool write_preview_temporary(const base::ContentWriter& write, const std::string& temporary,
                             const std::string& path) {
  const base::FileResult result =
      base::write_temporary_file(temporary, write, base::Durability::kUnsynced);
  // A full disk shows up as a failed write or close; the preview is dropped, the bridge goes on.
  if (!result.ok() && result.failed != base::FileStep::kOpen) {
    report_not_written(path);
  }
  return result.ok();
}

bool publish_preview_temporary(const std::string& temporary, const std::string& path) {
  const base::FileResult result =
      base::rename_temporary_file(temporary, path, base::OnRenameFailure::kKeepTemporary);
  if (!result.ok()) {
    report_not_replaced(path, result.error);
  }
  return result.ok();
}

}  // namespace ndi_bridge
