// Test support: the events of a job, recorded as lines of text.
#pragma once

#include <string>
#include <vector>

#include "worker/data_copy.h"

namespace qor::worker {

// "started T", "error T N MESSAGE", "complete T I,U,D", "busy T", "done".
class RecordingEvents : public DataCopyEvents {
 public:
  std::vector<std::string> events;

  void DataCopyStarted(const DateTime&, const std::string& t) override {
    events.push_back("started " + t);
  }
  void DataCopyError(const DateTime&, const std::string& t, long n, const std::string& m) override {
    events.push_back("error " + t + " " + std::to_string(n) + " " + m);
  }
  void DataCopyComplete(const DateTime&, const std::string& t, std::int32_t i, std::int32_t u,
                        std::int32_t d) override {
    events.push_back("complete " + t + " " + std::to_string(i) + "," + std::to_string(u) + "," +
                     std::to_string(d));
  }
  void DataCopyAlreadyInProgress(const DateTime&, const std::string& t) override {
    events.push_back("busy " + t);
  }
  void DataCopydone() override { events.push_back("done"); }

  // The events without the error's message and without "done".
  std::vector<std::string> Brief() const {
    std::vector<std::string> brief;
    for (const std::string& e : events) {
      if (e == "done") continue;
      if (e.rfind("error ", 0) == 0) {
        std::size_t number_end = e.find(' ', e.find(' ', 6) + 1);
        brief.push_back(e.substr(0, number_end));
      } else {
        brief.push_back(e);
      }
    }
    return brief;
  }
};

}  // namespace qor::worker
