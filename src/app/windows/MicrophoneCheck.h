// Whether Quorvel may record, as the windows show it. Asking the sound server
// can take a moment (bounded by the asker), so it is asked on a worker: once
// at launch, and again whenever a window asks the user to try. The answer
// lands on the main thread; until the first one it is "not determined".
//
// Threading: every call on the main thread; the asker runs on the runner.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "app/permissions/Diagnostics.h"
#include "app/windows/DashboardBridge.h"
#include "app/core/MainLoop.h"
#include "app/core/TaskRunner.h"

namespace quorvel {

// The windows' words for what the sound server allows.
MicStatus micStatusOf(MicrophoneAccess access);

class MicrophoneCheck {
 public:
  // Blocking and bounded: asks the sound server whether we can record.
  using Ask = std::function<MicStatus()>;

  MicrophoneCheck(MainLoop& loop, TaskRunner& runner, Ask ask);
  ~MicrophoneCheck();
  MicrophoneCheck(const MicrophoneCheck&) = delete;
  MicrophoneCheck& operator=(const MicrophoneCheck&) = delete;

  MicStatus status() const { return status_; }
  // Asks now, and again every 10 s while the microphone can't be used, so the
  // windows' advice goes away once the user has plugged one in or unmuted it.
  void start();
  // Asks again; `done` gets the answer on the main thread. Asks made while
  // one is under way share its answer.
  void refresh(std::function<void(MicStatus)> done = {});

 private:
  MainLoop& loop_;
  TaskRunner& runner_;
  Ask ask_;
  MicStatus status_ = MicStatus::notDetermined;
  bool asking_ = false;
  std::vector<std::function<void(MicStatus)>> waiting_;
  MainLoop::TimerId lookAgain_ = 0;
  std::shared_ptr<MicrophoneCheck*> self_;  // lets answers that arrive late find nobody
};

}  // namespace quorvel
