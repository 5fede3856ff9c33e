#include "contraptions/io/soundin/TGSoundIn.h"

#include <algorithm>
#include <cstdlib>

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
    add(fileIsGood, "FileIsGood");
    add(active, "Active");
    add(loop, "Loop");
    add(loopDelay, "LoopDelay");
    add(autoRewind, "AutoRewind");
    add(location, "Location");
    add(duration, "Duration");
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
  int peakLeft = 0;
  int peakRight = 0;
  const int16_t* frame = data + readPosition;
  for (int i = 0; i < kBlockSize; ++i, frame += 2) {
    left_[i] = static_cast<float>(frame[0]) * kSampleScale;
    right_[i] = static_cast<float>(frame[1]) * kSampleScale;
    peakLeft = std::max(peakLeft, std::abs(static_cast<int>(frame[0])));
    peakRight = std::max(peakRight, std::abs(static_cast<int>(frame[1])));
  }
  levelLeft *= kLevelDecay;
  levelRight *= kLevelDecay;
  levelLeft = std::max(levelLeft, static_cast<float>(peakLeft) / 32766.0f);
  levelRight = std::max(levelRight, static_cast<float>(peakRight) / 32766.0f);
}

}  // namespace tg
