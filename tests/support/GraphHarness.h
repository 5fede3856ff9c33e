#pragma once

#include <functional>
#include <vector>

#include "framework/QSSignalProcessor.h"
#include "graph/QSDynSigContext.h"

namespace tg::test {

// Plays a prepared signal, block by block.
class ScriptedSource final : public QSSignalProcessor {
 public:
  explicit ScriptedSource(QSDynSigContext* context) : QSSignalProcessor(context, 0, 1) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    for (int i = 0; i < kBlockSize; ++i) out_[i] = at_ < samples.size() ? samples[at_++] : 0.0f;
  }
  std::vector<float> samples;

 private:
  QSSignal out_;
  size_t at_ = 0;
};

// Records what arrives at its inlets, block by block.
class Recorder final : public QSSignalProcessor {
 public:
  Recorder(QSDynSigContext* context, int inlets)
      : QSSignalProcessor(context, inlets, 0), recorded(static_cast<size_t>(inlets)) {}
  void Process() override {
    for (int i = 0; i < InletCount(); ++i) {
      const QSSignal& s = InletSignal(i);
      recorded[static_cast<size_t>(i)].insert(recorded[static_cast<size_t>(i)].end(), s.Data(),
                                              s.Data() + kBlockSize);
    }
  }
  std::vector<std::vector<float>> recorded;
};

// A context that owns a processor under test, its sources and a recorder of
// all its outlets. Pipes belong to the context.
class GraphHarness {
 public:
  template <typename Processor, typename... Args>
  Processor& Place(Args&&... args) {
    auto* p = new Processor(&context, std::forward<Args>(args)...);
    recorder = new Recorder(&context, p->OutletCount());
    for (int o = 0; o < p->OutletCount(); ++o) context.Connect(p, o, recorder, o, false);
    return *p;
  }
  ScriptedSource& Feed(QSDynSigPipe& into, int inlet, std::vector<float> samples) {
    auto* source = new ScriptedSource(&context);
    source->samples = std::move(samples);
    context.Connect(source, 0, &into, inlet, false);
    return *source;
  }
  void Run(int blocks) {
    for (int b = 0; b < blocks; ++b) context.ProcessBlock();
  }
  const std::vector<float>& Out(int outlet) const {
    return recorder->recorded[static_cast<size_t>(outlet)];
  }

  QSDynSigContext context;
  Recorder* recorder = nullptr;
};

inline std::vector<float> Impulse(size_t length, size_t at = 0, float value = 1.0f) {
  std::vector<float> s(length, 0.0f);
  s[at] = value;
  return s;
}

inline std::vector<float> Constant(size_t length, float value) {
  return std::vector<float>(length, value);
}

}  // namespace tg::test
