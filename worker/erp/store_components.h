// The component layer over the ERP store: managers, enumerations, business objects and the
// audit reader of the seventeen tables, all interpreting the ERP catalogue.
//
// Managers: `initialize(bus component)` looks the bus component up in the directory
// (directory.h) and connects to the store it names; the list methods of the catalogue take
// two arguments (lowest, highest) per bounded field, compared as field_range.h describes, and
// give an enumeration of the records within all ranges, in key order; an empty one when none
// is, and Null (nothing to list) only when a range holds no value at all (a lower bound above
// its upper bound). `Close` lets go of the store.
//
// Enumerations: `hasMoreElements` (asked as often as wanted without moving on) and
// `nextElement`. They and the audit reader stream from the store
// (localdb::Statement::ExecuteStreaming, under the driver options of StoreSession): memory stays
// flat whatever the table's or trail's size, and a manager can list again while one of its
// enumerations or a reader is still being read.
//
// Elements: the table's getters (record_object.h). A business object created from its class
// identifier holds no record.
//
// Audit reader ("audit.AuditReader"): `initialize(manager, business object, criteria)` reads
// the trail of the manager's table for the criteria's period (both ends included, to the
// second), keeps the changes whose captured record lies within every key parameter, and gives
// them in the order they happened. `getCurrentObject(tuple)` gives the record as captured at
// the change: its key fields and the criteria's output fields; every other getter gives Null.
// A deleted record's current object holds the record as it was before the deletion.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "worker/erp/catalogue.h"
#include "worker/erp/component.h"
#include "worker/erp/store.h"

namespace qor::erp {

struct StoreSettings {
  // Where the directory is; when empty, `$QOR_DIRECTORY` at the time of `initialize`.
  std::optional<std::string> directory;
  // Replaces the directory lookup (bus component -> store connection string), for tests that
  // reach a store without a directory.
  std::function<std::string(const std::string& bus_component)> resolve;
};

class StoreComponentFactory : public ComponentFactory {
 public:
  explicit StoreComponentFactory(StoreSettings settings = {});
  // Every class identifier of the catalogue (manager and business object), the audit classes
  // and "java:java.util.Date", matched without regard to case.
  ObjectPtr Create(std::string_view class_id) override;

 private:
  std::shared_ptr<const StoreSettings> settings_;
};

}  // namespace qor::erp
