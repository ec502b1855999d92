// The recorder's platform-free core: start and retry, the locked sample
// buffer, per-buffer conversion and the level rule.
#include "audio/Recorder.h"

#include <cmath>
#include <new>

#include "audio/Levels.h"

namespace quorvel {

Recorder::Recorder(AudioSourceFactory makeSource) : makeSource_(std::move(makeSource)) {
  adopt(makeSource_ ? makeSource_() : nullptr);
}

Recorder::~Recorder() {
  if (source_) source_->stop();
}

void Recorder::adopt(std::unique_ptr<AudioSource> source) {
  source_ = std::move(source);
  if (!source_) return;
  source_->setOnConfigurationChange([flag = needsReset_] { flag->store(true); });
}

Status Recorder::start() {
  if (needsReset_->load()) resetEngine();
  if (startEngine().ok()) return success();
  // The first error is discarded: a fresh capture gets one more try.
  resetEngine();
  return startEngine();
}

void Recorder::resetEngine() {
  if (source_) source_->stop();
  source_.reset();
  needsReset_->store(false);
  adopt(makeSource_ ? makeSource_() : nullptr);
}

Status Recorder::startEngine() {
  {
    std::scoped_lock lock(mutex_);
    samples_.clear();  // keeps its capacity
    currentLevel_ = 0;
  }
  if (!source_) return Error{"No microphone available"};
  source_->stop();
  const AudioFormat format = source_->inputFormat();
  if (format.sampleRate == 0) return Error{"No microphone available"};
  converter_ = SampleConverter::make(format);
  if (!converter_) return Error{"No microphone available"};
  return source_->start(format, [this](const AudioBuffer& buffer) { append(buffer); });
}

Samples Recorder::snapshot() const {
  std::scoped_lock lock(mutex_);
  return samples_;
}

Samples Recorder::snapshot(std::size_t from) const {
  std::scoped_lock lock(mutex_);
  if (from >= samples_.size()) return {};
  return Samples(samples_.begin() + static_cast<std::ptrdiff_t>(from), samples_.end());
}

std::size_t Recorder::sampleCount() const {
  std::scoped_lock lock(mutex_);
  return samples_.size();
}

Samples Recorder::stop() {
  if (source_) source_->stop();
  return snapshot();
}

float Recorder::level() const {
  std::scoped_lock lock(mutex_);
  return currentLevel_;
}

float Recorder::levelOf(SampleSpan samples) {
  if (samples.empty()) return 0;
  return static_cast<float>(std::min(1.0, std::sqrt(rms(samples) / 1500.0)));
}

void Recorder::append(const AudioBuffer& buffer) {
  if (!converter_) return;
  const std::size_t values = converter_->from().type == SampleType::int16 ? buffer.int16.size() : buffer.float32.size();
  const std::size_t frames = values / converter_->from().channels;
  Samples converted;
  try {
    converted.resize(SampleConverter::outputCapacity(frames, converter_->from().sampleRate));
  } catch (const std::bad_alloc&) {
    return;  // this buffer is lost; recording goes on
  }
  const auto produced = converter_->convert(buffer, converted);
  if (!produced) return;
  converted.resize(*produced);
  const float level = levelOf(converted);
  std::scoped_lock lock(mutex_);
  try {
    samples_.insert(samples_.end(), converted.begin(), converted.end());
  } catch (const std::bad_alloc&) {
    return;
  }
  currentLevel_ = level;
}

}  // namespace quorvel
