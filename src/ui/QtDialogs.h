// Modal questions and notices as message boxes.
// Threading: main thread only.
#pragma once

#include "app/tray/TrayView.h"

namespace quorvel {

class QtDialogs final : public Dialogs {
 public:
  bool ask(const std::string& message, const std::string& detail, const std::string& accept,
           const std::string& reject) override;
  void tell(const std::string& message, const std::string& detail) override;
};

}  // namespace quorvel
