// Asking the sound server whether we may record, off the main thread.
#include "app/windows/MicrophoneCheck.h"

namespace quorvel {

MicrophoneCheck::MicrophoneCheck(MainLoop& loop, TaskRunner& runner, Ask ask)
    : loop_(loop), runner_(runner), ask_(std::move(ask)), self_(std::make_shared<MicrophoneCheck*>(this)) {}

MicrophoneCheck::~MicrophoneCheck() { loop_.cancel(lookAgain_); }

MicStatus micStatusOf(MicrophoneAccess access) {
  switch (access) {
    case MicrophoneAccess::allowed: return MicStatus::authorised;
    case MicrophoneAccess::denied: return MicStatus::denied;
    case MicrophoneAccess::restricted: return MicStatus::restricted;
    case MicrophoneAccess::notAskedYet: return MicStatus::notDetermined;
  }
  return MicStatus::notDetermined;
}

void MicrophoneCheck::start() {
  refresh();
  if (lookAgain_ != 0) return;
  lookAgain_ = loop_.every(Seconds(10), [this] {
    if (status_ != MicStatus::authorised) refresh();
  });
}

void MicrophoneCheck::refresh(std::function<void(MicStatus)> done) {
  if (done) waiting_.push_back(std::move(done));
  if (asking_) return;
  asking_ = true;
  std::weak_ptr<MicrophoneCheck*> weak = self_;
  MainLoop& loop = loop_;
  runner_.run([ask = ask_, weak, &loop] {
    const MicStatus answer = ask ? ask() : MicStatus::restricted;
    loop.post([weak, answer] {
      const auto alive = weak.lock();
      if (!alive) return;
      MicrophoneCheck& check = **alive;
      check.status_ = answer;
      check.asking_ = false;
      auto waiting = std::move(check.waiting_);
      check.waiting_.clear();
      for (auto& done : waiting) done(answer);
    });
  });
}

}  // namespace quorvel
