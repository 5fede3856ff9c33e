#pragma once

#include <array>
#include <atomic>
#include <string>
#include <string_view>

#include "contraptions/effects/sspat/QSTrigSplinePath.h"
#include "contraptions/effects/sspat/SpatialDelayTap.h"
#include "dsp/QSDelayLine.h"
#include "dsp/QSFunctionTable.h"
#include "dsp/QSVInterp.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

// A text of the longest length a document can hand over may have been cut.
static_assert(QSTrigSplinePath::kMaxTextLength + 1 == QSCStringProperty::kMaxLength);

// "SSpat": moves a mono source around a closed path in front of two
// loudspeakers, rendering it as panning, distance attenuation, a Doppler
// delay and a reverberation send. Outlets: left, right, send.
class TGSSpat final : public QSSignalProcessor {
 public:
  static constexpr int32_t kPathCapacity = 2048;
  static constexpr const char* kDefaultPath = "0,0.5, -0.5,-0.2, 0.5,-0.2";
  static constexpr double kMaxRate = 3.0;
  static constexpr double kMaxRotation = 6.2831852;
  static constexpr double kMinPathScale = 0.1;
  static constexpr double kMaxPathScale = 5.0;
  // Path units travelled by sound in a second.
  static constexpr double kSpeedOfSound = 342.0;

  explicit TGSSpat(QSDynSigContext* context);

  void Process() override;
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;
  // UI thread: a path text that cannot be used is reported as a value that
  // could not be read.
  void ReadProperties(std::istream& in) override;

  static size_t BufferMemory() {
    return QSDelayLine::BytesFor(1.0) + kPathSlots * QSTrigSplinePath::BytesFor(kPathCapacity) +
           1025 * sizeof(float);
  }

  // UI thread: why the last path text was refused (empty when it was taken).
  const std::string& PathProblem() const { return pathProblem_; }
  // The same, naming the parameter, for the document's load report.
  std::string ReadProblem() const override;

  // A turn of any size as the same turn within ±kMaxRotation (not finite: 0).
  static double WrapRotation(double radians);

  // The state of the block last made, for the window and for tests.
  float SourceX() const { return sourceX_; }
  float SourceY() const { return sourceY_; }
  float SmoothedDistance() const { return smoothed_; }
  double DirectDelay() const { return direct_.Delay(); }
  float Phase() const { return phase_; }

  QSCStringProperty pathSegments{kDefaultPath};
  QSDoubleProperty pathOriginX{0.0};
  QSDoubleProperty pathOriginY{0.0};
  QSDoubleProperty pathRotation{0.0};
  QSDoubleProperty pathScale{1.0};
  QSDoubleProperty trajectoryRate{0.5};
  QSDoubleProperty spaceScale{1.0};
  QSDoubleProperty dopplerAmount{1.0};
  QSDoubleProperty amplitudeAmount{1.0};
  QSDoubleProperty speakerSeparation{1.0};
  QSDoubleProperty reverbAmount{1.0};

 private:
  static constexpr int kPathSlots = 3;
  static constexpr int kFresh = 4;

  void OnPathText(const std::string& text);
  void TakeNewPath();
  void UpdateRate();
  float PanLaw(float x) const;

  QSStaticPropertyTable table_;
  QSSignal left_, right_, send_;

  // Paths are tabulated on the UI thread and handed over through three
  // slots: the audio thread's, the UI thread's, and one in between.
  std::array<QSTrigSplinePath, kPathSlots> paths_{QSTrigSplinePath(kPathCapacity),
                                                  QSTrigSplinePath(kPathCapacity),
                                                  QSTrigSplinePath(kPathCapacity)};
  int front_ = 0;
  int back_ = 1;
  std::atomic<int> middle_{2};
  std::string acceptedText_;
  std::string pathProblem_;
  bool reverting_ = false;

  QSDelayLine line_{1.0};
  SpatialDelayTap direct_{line_};
  SpatialDelayTap sendTap_{line_};
  QSFunctionTable panLaw_{1024};
  QSVInterp leftGain_, rightGain_, sendGain_;

  float start_ = 0.0f;
  float range_ = 1.0f;
  float phase_ = 0.0f;
  float increment_ = 0.01f;
  float raw_ = 1.0f;
  float smoothed_ = 1.0f;
  bool started_ = false;
  float a_ = 0.0f;
  float p_ = 0.0f;
  float sourceX_ = 0.0f, sourceY_ = 0.0f;
};

}  // namespace tg
