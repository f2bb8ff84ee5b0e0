#include "worker/copy_procedures.h"
#include "worker/erp/catalogue.h"
#include "worker/tables/table_descriptor.h"

namespace qor::worker {

DispatchTable BuildDispatchTable() {
  DispatchTable t;
  // Every table the worker may be started for. A table whose copy is not built yet is claimed
  // and released and copies nothing.
  for (const char* name : {"tsmdm030", "tsmdm100", "tsmdm105", "tsmdm130", "tsmdm135", "tsmdm140",
                           "tscfg220", "tscfg200", "tssoc200", "tssoc205", "tssoc210", "tsspc200",
                           "tsclm020", "tsclm024", "tccom130", "tcccp030", "tcccp001"}) {
    const tables::TableDescriptor* d = tables::FindTableDescriptor(name);
    t.Add(name, d ? DispatchProcedure(*d) : CopyProcedure());
  }
  return t;
}

const DispatchTable& StandardDispatchTable() {
  static const DispatchTable table = BuildDispatchTable();
  return table;
}

}  // namespace qor::worker
