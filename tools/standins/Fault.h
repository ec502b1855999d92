// The faults a stand-in can be told to show on a work request.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel::standin {

enum class Fault {
  none,
  hang,     // never answer (until the client gives up or the server stops)
  http500,  // status 500 with an error body
  notjson,  // status 200 with a body that is not JSON
  notext,   // status 200, JSON without the member the client reads
  drop,     // the connection closes in the middle of the answer
  exit,     // the process ends at once with status 1, like a crash
};

// "hang", "http500", … ; absent for an unknown name. The empty text is `none`.
std::optional<Fault> parseFault(std::string_view name);
std::string_view faultName(Fault fault);

}  // namespace quorvel::standin
