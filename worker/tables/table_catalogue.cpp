#include "worker/tables/table_catalogue.h"

namespace qor::worker::tables {

const std::vector<const TableDescriptor*>& AllTableDescriptors() {
  static const std::vector<const TableDescriptor*> all = {&ServiceTypes(), &Configurations(),
                                                          &ServiceObjects()};
  return all;
}

const TableDescriptor* FindTableDescriptor(std::string_view table) {
  for (const TableDescriptor* d : AllTableDescriptors()) {
    if (d->table == table) return d;
  }
  return nullptr;
}

}  // namespace qor::worker::tables
