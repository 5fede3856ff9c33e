#include "contraptions/io/soundout/TGSoundOut.h"

namespace tg {

TGSoundOut::TGSoundOut(QSDynSigContext* context) : QSSignalProcessor(context, 2, 0) {
  action.ClearChanged();
}

QSPropertyTable* TGSoundOut::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    add(outputFile, "OutputFile");
    add(action, "Action");
    add(fileMode, "FileMode");
    add(punchMode, "PunchMode");
    add(recordDuration, "RecordDuration");
  });
}

void TGSoundOut::Reset() {
  // Recording and playback of the output file arrive with the wave-file
  // writer; until then there is never a usable file.
  outputFile.ClearChanged();
  state_ = kNoFile;
}

void TGSoundOut::Process() {
  left_ = &InletSignal(0);
  right_ = &InletSignal(1);
}

}  // namespace tg
