#include "worker/row_filler.h"

#include "common/error.h"
#include "worker/data_copy.h"

namespace qor::worker {

Variant Convert(clsDataCopy& job, tables::Conversion conversion, const erp::Value& value) {
  switch (conversion) {
    case tables::Conversion::kNone:
      return value.variant();
    case tables::Conversion::kDate: {
      if (value.IsNull()) return Variant();
      if (!value.IsObject()) {
        throw Error(13, "JavaDateToDate", "Type mismatch: a date getter gave no Java date");
      }
      if (!job.JavaDateToDate(*value.object())) return Variant();
      return job.ConvertedDate;
    }
    case tables::Conversion::kYesNo:
      return Variant(static_cast<long long>(job.YesNoToFlag(value.variant())));
    case tables::Conversion::kTwoDecimals:
      if (value.variant().IsNull()) return Variant();
      return Variant(RoundHalfEven(value.variant().ToDouble(), 2));
  }
  return Variant();
}

void FillRow(clsDataCopy& job, const tables::RowFiller& filler, erp::Object& source, bool listed,
             RowSink& sink) {
  for (std::size_t i = 0; i < filler.columns.size(); ++i) {
    const tables::ColumnMapping& column = filler.columns[i];
    if (column.listed_only && !listed) continue;
    erp::Value value = source.Call(column.getter);
    sink.Set(i, column.column, Convert(job, column.conversion, value));
  }
}

Variant KeyValue(erp::Object& current, const tables::KeyColumn& key) {
  Variant value = current.Call(key.getter).variant();
  switch (key.kind) {
    case tables::KeyKind::kText:
      return value.IsNull() ? value : Variant(value.ToText());
    case tables::KeyKind::kNumber:
      return value.IsNumeric() || value.IsNull() ? value : Variant(value.ToDouble());
    case tables::KeyKind::kTwoDecimals:
      return Variant(RoundHalfEven(value.ToDouble(), 2));
  }
  return value;
}

}  // namespace qor::worker
