// A small clipboard owner for the desktop tests: offers several types at
// once, as a real application's copy does (xclip offers one), sending large
// ones in pieces. Serves from its own thread until destroyed.
#pragma once

#include <map>
#include <memory>
#include <string>

namespace quorvel::testing {

class ClipboardOwner {
 public:
  // Takes the CLIPBOARD with these types (name → bytes); ok() tells whether
  // it got it.
  explicit ClipboardOwner(std::map<std::string, std::string> types);
  ~ClipboardOwner();
  ClipboardOwner(const ClipboardOwner&) = delete;
  ClipboardOwner& operator=(const ClipboardOwner&) = delete;

  bool ok() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quorvel::testing
