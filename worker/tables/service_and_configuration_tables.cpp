// Service types (tsmdm030), configurations (tscfg220) and service objects (tscfg200).
#include "worker/tables/table_catalogue.h"

namespace qor::worker::tables {
namespace {

const std::string kZ3(3, 'Z');
const std::string kZ8(8, 'Z');
const std::string kZ9(9, 'Z');
const std::string kZ50(50, 'Z');

}  // namespace

const TableDescriptor& ServiceTypes() {
  static const TableDescriptor d{
      .table = "tsmdm030",
      .dispatch = "CopyServiceTypes",
      .manager_class = "ServiceTypes.ServiceTypesManager",
      .object_class = "ServiceTypes.ServiceTypes",
      .list = {"List", {"", kZ3}},
      .full_copy = {"CopyServiceTypesFull", "Copy Service Types",
                    " Copy of Service Types from Tarvik to Local DB failed"},
      .changed_copy = {"CopyServiceTypesChanged", "Copy Service Types - Only Changed",
                       " Copy of Service Types from Tarvik to Local DB failed"},
      .key_parameters = {{"cstp", "", "ZZZ"}},
      .output_fields = {"desc", "proc", "ract"},
      .delete_key = {{"cstp", "getServiceType"}},
      .select_key = {{"cstp", "getServiceType"}},
      .fill_row = {"FillServiceTypesRow",
                   {{"cstp", "getServiceType"},
                    {"dsca", "getServiceTypeDescription"},
                    {"prod", "getServiceProcedure"},
                    {"ract", "getavailabilityType"}}},
      .stamp_start_after_open = true,
      .save_last_row_without_bof_test = true,
  };
  return d;
}

const TableDescriptor& Configurations() {
  static const TableDescriptor d{
      .table = "tscfg220",
      .dispatch = "CopyConfigurations",
      .manager_class = "Configurations.ConfigurationsManager",
      .object_class = "Configurations.Configurations",
      .list = {"List", {"", kZ9, "", kZ9, "", kZ9, "", kZ9}},
      .full_copy = {"CopyConfigurationsFull", "Copy Service Configurations",
                    " Copy of Service Configurations from Tarvik to Local DB failed"},
      .changed_copy = {"CopyConfigurationsChanged", "Copy Service Configurations - Only Change",
                       " Copy of Service Configurations from Tarvik to Local DB failed"},
      .key_parameters = {{"ccfg", "", kZ8}},
      // The responsible engineer is asked for too: the row filler writes it, and a change
      // record that did not capture it would blank it in every changed configuration.
      .output_fields = {"desc", "ofbp", "cwoc", "csar", "tecr", "teca", "tecb", "cusc", "czon",
                        "dist", "trti", "ccal", "cadr"},
      .delete_key = {{"ccfg", "getConfiguration"}},
      .select_key = {{"ccfg", "getConfiguration"}},
      .fill_row = {"FillConfigurationsRow",
                   {{"ccfg", "getConfiguration"},
                    {"dsca", "getdescription"},
                    {"ofbp", "getSoldToBusinessPartner"},
                    {"cwoc", "getServiceCenter"},
                    {"csar", "getServiceArea"},
                    {"tecr", "getResponsibleEngineer"},
                    {"teca", "getPreferredEngineer1"},
                    {"tecb", "getPreferredEngineer2"},
                    {"cusc", "getUsageClass"},
                    {"czon", "getDistanceZone"},
                    {"dist", "getTravelDistance"},
                    {"trti", "getTravelingTime"},
                    {"ccal", "getCalendar"},
                    {"cadr", "getLocationAddress"}}},
  };
  return d;
}

const TableDescriptor& ServiceObjects() {
  static const std::vector<KeyColumn> key = {{"ccfg", "getConfiguration"},
                                             {"crob", "getServiceObject"},
                                             {"oseq", "getObjectNumber", KeyKind::kNumber}};
  static const TableDescriptor d{
      .table = "tscfg200",
      .dispatch = "CopyServiceObjects",
      .manager_class = "ServiceObjects.ServiceObjectsManager",
      .object_class = "ServiceObjects.ServiceObjects",
      .list = {"List", {"", kZ9, "", kZ50, 0, 9999}},
      .full_copy = {"CopyServiceObjectsFull", "Copy Service Objects",
                    " Copy of Service Objects from Tarvik to Local DB failed"},
      .changed_copy = {"CopyServiceObjectsChanged", "Copy Service Objects - Only Change",
                       " Copy of Service Objects from Tarvik to Local DB failed"},
      .key_parameters = {{"ccfg", "", kZ8}, {"crob", "", kZ50}, {"oseq", "0000", "9999"}},
      .output_fields = {"desc", "cogr", "cusc", "manu", "ccal", "cdel"},
      .delete_key = key,
      .select_key = key,
      .fill_row = {"FillServiceObjectsRow",
                   {{"ccfg", "getConfiguration"},
                    {"crob", "getServiceObject"},
                    {"oseq", "getObjectNumber"},
                    {"dsca", "getdescription"},
                    {"cogr", "getObjectGroup"},
                    {"cusc", "getUsageClass"},
                    {"manu", "getManufacturedBy"},
                    {"ccal", "getCalendar"},
                    {"cdel", "getLocationAddress"}}},
  };
  return d;
}

}  // namespace qor::worker::tables
