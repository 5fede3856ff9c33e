#pragma once

#include <atomic>
#include <vector>

#include "framework/QSSignalProcessor.h"
#include "properties/QSBoolProperty.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSDoubleProperty.h"
#include "properties/QSIntProperty.h"

namespace tg::test {

// A pipe with any number of inlets and outlets. Each outlet carries the sum of
// all inlets plus a constant, so tests can follow signals through a graph.
class TestPipe : public QSSignalProcessor {
 public:
  TestPipe(QSDynSigContext* context, int inlets, int outlets, float constant = 0.0f)
      : QSSignalProcessor(context, inlets, outlets),
        outs_(static_cast<size_t>(outlets)),
        constant_(constant) {
    for (int o = 0; o < outlets; ++o) SetOutletSignal(o, &outs_[static_cast<size_t>(o)]);
  }
  void Process() override {
    ++processCount;
    for (auto& out : outs_) {
      out.Fill(constant_);
      for (int i = 0; i < InletCount(); ++i) out += InletSignal(i);
    }
  }
  void InletChanged(int inlet) override { inletChanges.push_back(inlet); }
  void Reset() override { ++resetCount; }
  QSSignal& Out(int o) { return outs_[static_cast<size_t>(o)]; }
  // UI thread, before the pipe runs.
  void SetConstant(float constant) { constant_ = constant; }

  std::atomic<int> processCount{0};  // read by tests while audio runs
  int resetCount = 0;
  std::vector<int> inletChanges;

 private:
  std::vector<QSSignal> outs_;
  float constant_;
};

// A stand-in for a real contraption type with two parameters, like RingAM.
class TestRingAM : public QSSignalProcessor {
 public:
  explicit TestRingAM(QSDynSigContext* context) : QSSignalProcessor(context, 2, 1) {
    SetOutletSignal(0, &out_);
  }
  QSPropertyTable* GetPropertyTable() override {
    static QSStaticPropertyTable::ClassInfo info;
    return table_.Bind(info, [this](auto& add) {
      add(frequency, "Frequency", QSFrequencyUnits::Get(), 0.1, 5000.0);
      add(am, "AM");
    });
  }
  void Process() override { out_.SetProduct(InletSignal(0), InletSignal(1)); }
  void Reset() override { ++resetCount; }

  QSDoubleProperty frequency{440.0};
  QSIntProperty am{0};
  int resetCount = 0;

 private:
  QSStaticPropertyTable table_;
  QSSignal out_;
};

// One property of every kind, for table and preset tests.
class TestAllKinds : public QSSignalProcessor {
 public:
  explicit TestAllKinds(QSDynSigContext* context) : QSSignalProcessor(context, 1, 1) {
    SetOutletSignal(0, &out_);
  }
  QSPropertyTable* GetPropertyTable() override {
    static QSStaticPropertyTable::ClassInfo info;
    return table_.Bind(info, [this](auto& add) {
      add(level, "Level", QSGainUnits::Get(), 0.0, 1.0);
      add(on, "On");
      add(count, "Count");
      add(file, "File");
    });
  }
  void Process() override { out_.CopyFrom(InletSignal(0)); }

  QSDoubleProperty level{0.5};
  QSBoolProperty on{false};
  QSIntProperty count{3};
  QSCStringProperty file;

 private:
  QSStaticPropertyTable table_;
  QSSignal out_;
};

// A processor with no parameters at all.
class TestBare : public QSSignalProcessor {
 public:
  explicit TestBare(QSDynSigContext* context) : QSSignalProcessor(context, 1, 1) {}
  void Process() override {}
};

}  // namespace tg::test
