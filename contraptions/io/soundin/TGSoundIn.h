#pragma once

#include <cstdint>

#include "framework/QSSignalProcessor.h"
#include "framework/properties/QSBoolProperty.h"
#include "framework/properties/QSCStringProperty.h"
#include "framework/properties/QSDoubleProperty.h"

namespace tg {

// Brings the sound card's input (or, later, a sound file) into the patch.
// The engine owns the one instance for its whole life.
class TGSoundIn final : public QSSignalProcessor {
 public:
  explicit TGSoundIn(QSDynSigContext* context);

  void Process() override;
  // Takes what the engine hands over from the device.
  bool SharesEngineState() const override { return true; }
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  // Audio thread, input buffer held: converts one block of device input
  // starting at a 16-bit value index, and moves the input peak meters.
  void TakeDeviceInput(const int16_t* data, int readPosition, float& levelLeft, float& levelRight);

  QSBoolProperty useADC{true};
  QSCStringProperty inputFile;
  QSBoolProperty fileIsGood{false};
  QSBoolProperty active{false};
  QSBoolProperty loop{false};
  QSDoubleProperty loopDelay{0.0};
  QSBoolProperty autoRewind{false};
  QSDoubleProperty location{0.0};
  QSDoubleProperty duration{0.0};

 private:
  QSStaticPropertyTable table_;
  QSSignal left_;
  QSSignal right_;
};

}  // namespace tg
