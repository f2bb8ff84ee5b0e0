#include "worker/copy_procedures.h"

#include "common/text.h"
#include "worker/localdb/bulk_inserter.h"
#include "worker/row_filler.h"

namespace qor::worker {
namespace {

using tables::KeyColumn;
using tables::TableDescriptor;

// Null counts as false.
bool AsBoolean(const erp::Value& v) { return !v.IsNull() && v.variant().ToBoolean(); }

bool HasMoreElements(erp::Object& enumeration) {
  return AsBoolean(enumeration.Call("hasMoreElements"));
}

// " where c1 = ? and c2 = ?" and the values of the current object to bind to it.
std::string KeyClause(const std::vector<KeyColumn>& keys, erp::Object& current,
                      std::vector<Variant>& values) {
  std::string clause;
  for (const KeyColumn& key : keys) {
    clause += clause.empty() ? " where " : " and ";
    clause += std::string(key.column) + " = ?";
    values.push_back(KeyValue(current, key));
  }
  return clause;
}

std::vector<std::string> FillerColumns(const tables::RowFiller& filler) {
  std::vector<std::string> columns;
  for (const auto& c : filler.columns) columns.emplace_back(c.column);
  return columns;
}

}  // namespace

void FullCopy(clsDataCopy& job, const TableDescriptor& d, const std::string& table,
              const std::string& bus_component) {
  job.InsertCount = 0;
  erp::ObjectPtr manager;
  try {
    manager = job.Erp().Create(d.manager_class);
    manager->Call("initialize", {bus_component});
    erp::Value list = manager->Call(d.list.method, d.list.args);
    job.CopyStartTime = DateTime::Now();
    if (!list.IsNull()) {
      erp::Object& enumeration = *list.object();
      localdb::Transaction transaction(job.Connection());
      if (HasMoreElements(enumeration)) job.DeleteAllRecords(table);
      auto inserter = localdb::MakeBulkInserter(job.Connection(), table, FillerColumns(d.fill_row));
      if (d.stamp_start_after_open) job.CopyStartTime = DateTime::Now();
      ValuesSink row(d.fill_row);
      while (HasMoreElements(enumeration)) {
        erp::Value element = enumeration.Call("nextElement");
        row.Reset();
        FillRow(job, d.fill_row, *element.object(), true, row);
        inserter->Add(row.values());
        ++job.InsertCount;
      }
      // Saving the last row: whether the table holds one or not (save_last_row_without_bof_test),
      // flushing writes exactly the rows still pending.
      inserter->Flush();
      job.StampLastUpdate(table, job.CopyStartTime);
      transaction.Commit();
      job.LogCopyCounts(table, job.InsertCount, 0, 0);
    }
    manager->Call("Close");
  } catch (...) {
    Error raised = job.LoggedAndRaised(std::string(d.full_copy.step_text),
                                       std::string(d.full_copy.failure_text));
    job.TableRecordset().Close();
    if (manager) {
      try {
        manager->Call("Close");
      } catch (...) {
        // The copy's own error is the one to report.
      }
    }
    throw raised;
  }
}

void ChangedCopy(clsDataCopy& job, const TableDescriptor& d, const std::string& table,
                 const std::string& bus_component) {
  job.InsertCount = 0;
  job.UpdateCount = 0;
  job.DeleteCount = 0;
  try {
    erp::ComponentFactory& erp = job.Erp();
    erp::ObjectPtr manager = erp.Create(d.manager_class);
    erp::ObjectPtr object = erp.Create(d.object_class);
    erp::ObjectPtr criteria = erp.Create("audit.auditCriteria");
    erp::ObjectPtr period = erp.Create("audit.period");
    std::vector<erp::ObjectPtr> parameters;
    for (std::size_t i = 0; i < d.key_parameters.size(); ++i) {
      parameters.push_back(erp.Create("audit.Parameter"));
    }
    erp::ObjectPtr reader = erp.Create("audit.AuditReader");
    erp::ObjectPtr status = erp.Create("audit.RecordStatus");

    manager->Call("initialize", {bus_component});
    erp::ObjectPtr start = job.LastUpdateAsJavaDate(table);
    erp::ObjectPtr end = job.NowAsJavaDate();
    period->Call("setFrom", {start});
    period->Call("setTo", {end});
    criteria->Call("setPeriod", {period});
    for (std::size_t i = 0; i < d.key_parameters.size(); ++i) {
      const tables::KeyParameter& p = d.key_parameters[i];
      parameters[i]->Call("setFieldName", {std::string(p.field)});
      parameters[i]->Call("setFrom", {std::string(p.from)});
      parameters[i]->Call("setTo", {std::string(p.to)});
      criteria->Call("addParameter", {parameters[i]});
    }
    for (std::string_view field : d.output_fields) {
      criteria->Call("addOutputField", {std::string(field)});
    }
    reader->Call("initialize", {manager, object, criteria});

    localdb::Transaction transaction(job.Connection());
    while (HasMoreElements(*reader)) {
      erp::Value record = reader->Call("nextElement");
      erp::Value tuple = record.object()->Call("getTuple");
      erp::Value current_value = reader->Call("getCurrentObject", {tuple});
      erp::Object& current = *current_value.object();
      if (AsBoolean(status->Call("isDeleted", {record}))) {
        std::vector<Variant> key;
        std::string where = KeyClause(d.delete_key, current, key);
        job.Connection().Execute("DELETE FROM " + table + where, key);
        ++job.DeleteCount;
        continue;
      }
      // Both are asked, as the ERP's status object may count on it.
      bool inserted = AsBoolean(status->Call("isInserted", {record}));
      bool updated = AsBoolean(status->Call("isUpdated", {record}));
      if (!inserted && !updated) continue;
      std::vector<Variant> key;
      std::string where = KeyClause(d.select_key, current, key);
      localdb::Recordset& rs = job.TableRecordset();
      rs.Open(job.Connection(), "select * from " + table + where,
              localdb::Recordset::CommandType::kText, key);
      // The counts follow the local table: an inserted record whose row exists is an update.
      bool new_row = rs.AtBOF();
      if (new_row) {
        rs.AddNew();
        ++job.InsertCount;
      } else {
        ++job.UpdateCount;
      }
      if (d.write_changed_row) {
        d.write_changed_row(job, d, *manager, current, new_row);
      } else {
        RecordsetSink sink(rs);
        FillRow(job, d.fill_row, current, false, sink);
      }
      rs.Update();
      rs.Close();
    }
    if (job.JavaDateToDate(*end)) {
      job.CopyStartTime = job.ConvertedDate.ToDateTime();
      job.StampLastUpdate(table, job.CopyStartTime);
    }
    transaction.Commit();
    job.LogCopyCounts(table, job.InsertCount, job.UpdateCount, job.DeleteCount);
  } catch (...) {
    Error raised = job.LoggedAndRaised(std::string(d.changed_copy.step_text),
                                       std::string(d.changed_copy.failure_text));
    job.TableRecordset().Close();
    throw raised;
  }
}

CopyProcedure DispatchProcedure(const TableDescriptor& descriptor) {
  return [&descriptor](clsDataCopy& job, const std::string& table, const std::string& bus,
                       SyncMethod method) {
    if (method == SyncMethod::kFullTable) {
      FullCopy(job, descriptor, table, bus);
    } else if (method == SyncMethod::kChangedData) {
      ChangedCopy(job, descriptor, table, bus);
    }
  };
}

}  // namespace qor::worker
