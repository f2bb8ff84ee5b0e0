// The tables whose copies are built, each described once.
#pragma once

#include "worker/tables/table_descriptor.h"

namespace qor::worker::tables {

// Service type and configuration tables.
const TableDescriptor& ServiceTypes();    // tsmdm030
const TableDescriptor& Configurations();  // tscfg220
const TableDescriptor& ServiceObjects();  // tscfg200

}  // namespace qor::worker::tables
