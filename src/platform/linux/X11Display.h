// Opening an X display the way every X11 adapter here needs it: protocol
// errors are logged and survived rather than ending the process, and a lost
// connection makes later calls fail instead of calling exit().
#pragma once

#include <memory>
#include <string>

struct _XDisplay;

namespace quorvel {

struct X11DisplayCloser {
  void operator()(_XDisplay* display) const;
};
using X11DisplayPtr = std::unique_ptr<_XDisplay, X11DisplayCloser>;

// A new connection to $DISPLAY, or nothing with problem set ("no X display
// (DISPLAY is not set)", "cannot open X display :5"). Each caller owns its
// connection and uses it from one thread at a time.
X11DisplayPtr openX11Display(std::string& problem);

// Whether a connection has been lost since it was opened (its server went
// away); every later call on it fails harmlessly.
bool x11ConnectionLost(_XDisplay* display);

}  // namespace quorvel
