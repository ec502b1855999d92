// SIGTERM and SIGINT end the program through the event loop, so it shuts down
// the way "Quit" does: the servers stopped, the deliveries given their moment.
//
// Threading: call once, on the main thread, after the application exists.
#pragma once

class QCoreApplication;

namespace quorvel {

void quitOnSignals(QCoreApplication& app);

}  // namespace quorvel
