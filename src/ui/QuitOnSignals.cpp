// A signal handler may only write a byte; the event loop reads it and quits.
#include "ui/QuitOnSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quorvel {

namespace {

int signalPipe[2] = {-1, -1};  // one per process, like the handlers

void onSignal(int) {
  const char byte = 1;
  (void)!::write(signalPipe[1], &byte, 1);
}

}  // namespace

void quitOnSignals(QCoreApplication& app) {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
    char byte;
    while (::read(signalPipe[0], &byte, 1) > 0) {
    }
    QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace quorvel
