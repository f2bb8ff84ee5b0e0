// The two copy procedures, written once and driven by a table's descriptor: the full copy,
// which replaces the local table's rows with every record the ERP lists, and the
// changed-data copy, which applies the changes that the ERP's audit trail reports since the
// table's last update.
#pragma once

#include <string>

#include "worker/data_copy.h"
#include "worker/tables/table_descriptor.h"

namespace qor::worker {

// The deletion of the old rows, the inserts and the lutm stamp are one transaction: a copy
// that fails leaves the local table with exactly its old rows and lutm with its old value.
void FullCopy(clsDataCopy& job, const tables::TableDescriptor& descriptor, const std::string& table,
              const std::string& bus_component);

// All changes of the period and the stamp are one transaction, likewise.
void ChangedCopy(clsDataCopy& job, const tables::TableDescriptor& descriptor,
                 const std::string& table, const std::string& bus_component);

// The table's dispatch procedure: the full copy for kFullTable, the changed-data copy for
// kChangedData.
CopyProcedure DispatchProcedure(const tables::TableDescriptor& descriptor);

// The standard dispatch table: every built table's procedure; the others copy nothing.
DispatchTable BuildDispatchTable();

}  // namespace qor::worker
