// QORDbSync: copies one ERP table into the local database and reports to the console.
#include <clocale>
#include <string>

#include "worker/erp/store_components.h"
#include "worker/start_up.h"

int main(int argc, char** argv) {
  // Dates and times in the logs follow the user's locale.
  std::setlocale(LC_ALL, "");
  // The console passes the command line as one text; a shell may have split it at blanks,
  // so the arguments are joined with single blanks again.
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  // The ERP store of a bus component is found through the directory ($QOR_DIRECTORY).
  qor::erp::StoreComponentFactory erp;
  return qor::worker::RunStartUp(command_line, qor::worker::CreateMessHandler,
                                 qor::worker::StandardDispatchTable(), &erp);
}
