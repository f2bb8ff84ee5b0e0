// How a table is copied: in full or by the changes since its last copy.
#pragma once

#include <string>

namespace qor {

enum class SyncMethod : int { kUndefined = 0, kFullTable = 1, kChangedData = 2 };

// The worker copies in full for any stored value other than 2.
inline SyncMethod WorkerSyncMethod(long stored) {
  return stored == 2 ? SyncMethod::kChangedData : SyncMethod::kFullTable;
}

// The console's name of a stored method: "Full Table", "Changed Data", "UnDefined" for 0, and
// nothing for any other value.
inline std::string SyncMethodName(long stored) {
  switch (stored) {
    case 0:
      return "UnDefined";
    case 1:
      return "Full Table";
    case 2:
      return "Changed Data";
    default:
      return "";
  }
}

}  // namespace qor
