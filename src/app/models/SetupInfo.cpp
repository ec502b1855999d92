// Derived values of the setup progress record.
#include "app/models/SetupInfo.h"

#include <algorithm>

namespace quorvel {

double SetupInfo::fraction() const {
  if (total <= 0) return 0;
  // A negative count (which nothing should report) reads as nothing done.
  return std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
}

int SetupInfo::percent() const {
  if (total < 1) return 0;
  return std::min(static_cast<int>(fraction() * 100), 99);
}

std::string SetupInfo::failureTitle() const {
  return startFailed ? "The models didn't start" : "The download didn't finish";
}

}  // namespace quorvel
