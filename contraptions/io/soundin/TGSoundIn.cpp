#include "contraptions/io/soundin/TGSoundIn.h"

#include <algorithm>

#include "dsp/SampleConversion.h"

namespace tg {

namespace {
constexpr float kLevelDecay = 0.5952380952f;
constexpr float kSampleScale = 1.0f / 32768.0f;
}  // namespace

TGSoundIn::TGSoundIn(QSDynSigContext* context) : QSSignalProcessor(context, 0, 2) {
  SetOutletSignal(0, &left_);
  SetOutletSignal(1, &right_);
}

QSPropertyTable* TGSoundIn::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    add(useADC, "UseADC");
    add(inputFile, "InputFile");
    add.State(fileIsGood, "FileIsGood");
    add.State(active, "Active");
    add(loop, "Loop");
    add(loopDelay, "LoopDelay", QSAbstractUnits::Get(), 0.0, 600000.0);  // ms
    add(autoRewind, "AutoRewind");
    // In milliseconds, up to a day: longer than any wave file lasts.
    add.State(location, "Location", 0.0, 86400000.0);
    add.State(duration, "Duration", 0.0, 86400000.0);
  });
}

void TGSoundIn::Reset() {
  // Streaming from a file arrives with the wave-file reader; until then no
  // input file is ever good.
  inputFile.ClearChanged();
  fileIsGood.SetValue(false);
  active.SetValue(false);
}

void TGSoundIn::Process() {
  if (useADC.Value()) return;
  left_.Fill(0.0f);
  right_.Fill(0.0f);
}

void TGSoundIn::TakeDeviceInput(const int16_t* data, int readPosition, float& levelLeft,
                                float& levelRight) {
  if (!useADC.Value()) return;
  if (data == nullptr) {
    left_.Fill(0.0f);
    right_.Fill(0.0f);
    return;
  }
  const Peaks16 peaks =
      FromSamples16(data + readPosition, kSampleScale, left_.Data(), right_.Data(), kBlockSize);
  levelLeft *= kLevelDecay;
  levelRight *= kLevelDecay;
  levelLeft = std::max(levelLeft, static_cast<float>(peaks.left) / 32766.0f);
  levelRight = std::max(levelRight, static_cast<float>(peaks.right) / 32766.0f);
}

}  // namespace tg
