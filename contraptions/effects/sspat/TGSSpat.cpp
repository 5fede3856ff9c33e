#include "contraptions/effects/sspat/TGSSpat.h"

#include <algorithm>
#include <cmath>
#include <istream>
#include <utility>

#include "dsp/Interpolation.h"
#include "dsp/NonFinite.h"

namespace tg {

namespace {

constexpr float kBlockRate = static_cast<float>(kSampleRate / kBlockSize);

void SetSmoother(double cutoffHz, float& a, float& p) {
  const double c = 2.0 - std::cos(2.0 * 3.1415926 * cutoffHz / kBlockRate);
  p = static_cast<float>(c - std::sqrt(c * c - 1.0));
  a = 1.0f - p;
}

}  // namespace

TGSSpat::TGSSpat(QSDynSigContext* context) : QSSignalProcessor(context, 1, 3) {
  SetOutletSignal(0, &left_);
  SetOutletSignal(1, &right_);
  SetOutletSignal(2, &send_);
  panLaw_.FillPanLaw();
  SetSmoother(5.0, a_, p_);
  pathSegments.SetChangeHandler([this](const std::string& text) { OnPathText(text); });
  OnPathText(pathSegments.Value());
}

QSPropertyTable* TGSSpat::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    const QSPropertyUnits& abstract = QSAbstractUnits::Get();
    add(pathSegments, "PathSegments");
    // The reach of the trajectory view's drags.
    add(pathOriginX, "PathOriginX", abstract, -1.0, 1.0);
    add(pathOriginY, "PathOriginY", abstract, -1.0, 1.0);
    add(pathRotation, "PathRotation", abstract, -kMaxRotation, kMaxRotation);
    add(pathScale, "PathScale", abstract, kMinPathScale, kMaxPathScale);
    add(trajectoryRate, "TrajectoryRate", abstract, -kMaxRate, kMaxRate);
    add(spaceScale, "SpaceScale", abstract, 1.0, 20.0);
    add(dopplerAmount, "DopplerAmount", abstract, 0.0, 2.0);
    add(amplitudeAmount, "AmplitudeAmount", abstract, 0.0, 1.0);
    add(speakerSeparation, "SpeakerSeparation", abstract, 1.0, 10.0);
    add(reverbAmount, "ReverbAmount", abstract, 0.5, 2.0);
  });
}

void TGSSpat::ReadProperties(std::istream& in) {
  // A refused path keeps the one before it; the presets and the window's
  // place after it still read.
  pathProblem_.clear();
  QSSignalProcessor::ReadProperties(in);
}

void TGSSpat::OnPathText(const std::string& text) {
  if (reverting_) return;
  QSTrigSplinePath::Parsed parsed = QSTrigSplinePath::Parse(text);
  if (!parsed.problem.empty()) {
    pathProblem_ = std::move(parsed.problem);
    // The path in use stays, and so does the text that describes it.
    reverting_ = true;
    pathSegments.SetValue(acceptedText_);
    reverting_ = false;
    return;
  }
  pathProblem_.clear();
  acceptedText_ = text;
  paths_[static_cast<size_t>(back_)].SetPoints(parsed.points);
  back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & ~kFresh;
}

std::string TGSSpat::ReadProblem() const {
  if (pathProblem_.empty()) return {};
  std::string text = "Path: ";
  text.append(pathProblem_);
  return text;
}

double TGSSpat::WrapRotation(double radians) {
  if (!std::isfinite(radians)) return 0.0;
  return std::fmod(radians, kMaxRotation);
}

void TGSSpat::TakeNewPath() {
  if ((middle_.load(std::memory_order_acquire) & kFresh) == 0) return;
  front_ = middle_.exchange(front_, std::memory_order_acq_rel) & ~kFresh;
  start_ = static_cast<float>(paths_[static_cast<size_t>(front_)].StartPosition());
  range_ = static_cast<float>(paths_[static_cast<size_t>(front_)].PointCount());
  UpdateRate();
}

void TGSSpat::UpdateRate() {
  const double rate = trajectoryRate.ValueWithin(-kMaxRate, kMaxRate);
  const double n = range_;
  increment_ = static_cast<float>(std::clamp(rate / n / kBlockRate, -0.99, 0.99));
  // Past a quarter of the block rate the smoother's pole would fold back
  // towards 1 (at the block rate itself it stands still): the distance
  // would hardly move and the level swing and the Doppler would vanish.
  SetSmoother(std::min(std::fabs(5.0 * n * rate), kBlockRate / 4.0), a_, p_);
}

float TGSSpat::PanLaw(float x) const {
  const float index = x * 1024.0f;
  if (!(index >= 0.0f)) return panLaw_[0];  // NaN too
  if (index < 1024.0f) return QSInterpLookup(panLaw_.Data(), index);
  return panLaw_[1024];
}

void TGSSpat::Reset() {
  line_.Clear();
  direct_.Restart();
  sendTap_.Restart();
  leftGain_ = QSVInterp();
  rightGain_ = QSVInterp();
  sendGain_ = QSVInterp();
  phase_ = 0.0f;
  raw_ = 1.0f;
  smoothed_ = 1.0f;
  started_ = false;
}

void TGSSpat::Process() {
  if (trajectoryRate.TakeChanged()) UpdateRate();
  pathSegments.TakeChanged();  // the table itself comes prepared
  TakeNewPath();
  QSTrigSplinePath& path = paths_[static_cast<size_t>(front_)];
  path.SetOrigin(static_cast<float>(pathOriginX.ValueWithin(-1.0, 1.0)),
                 static_cast<float>(pathOriginY.ValueWithin(-1.0, 1.0)));
  path.SetRotation(WrapRotation(pathRotation.Value()));
  path.SetScale(pathScale.ValueWithin(kMinPathScale, kMaxPathScale));

  alignas(64) float in[kBlockSize];
  std::copy_n(InletSignal(0).Data(), kBlockSize, in);
  // The line holds a second of input: a NaN once would come back for that long.
  SilenceNonFinite(in, kBlockSize);
  line_.Write(in);

  const float t = phase_ * range_ + start_;
  phase_ += increment_;
  if (phase_ > 1.0f) phase_ -= 1.0f;
  if (phase_ < 0.0f) phase_ += 1.0f;
  const QSTrigSplinePath::Point at = path.At(t);
  const float x = at.x, y = at.y;
  sourceX_ = x;
  sourceY_ = y;

  // The listener's line lies at y = −1; the pan is where the line from the
  // source to the far point behind the listener crosses it.
  const auto h = static_cast<float>(speakerSeparation.ValueWithin(1.0, 10.0) * 0.5);
  const float dy = y + 1.0f;
  // Behind the listener the lines no longer cross; keep the divisor away from 0.
  const float pan = h / std::max(h + dy, 0.01f * h) * x;
  const float dx = x - pan;
  raw_ = static_cast<float>(std::sqrt(dx * dx + dy * dy)) *
         static_cast<float>(spaceScale.ValueWithin(1.0, 20.0));
  // The first block stands where the source is: gliding there from a
  // distance of 1 would sweep the Doppler delay, and the pitch, at every start.
  smoothed_ = started_ ? a_ * raw_ + p_ * smoothed_ : raw_;
  started_ = true;

  sendTap_.Read(0.0, send_.Data());
  const double g = (2.5 - dy) * reverbAmount.ValueWithin(0.5, 2.0);
  sendGain_.Set(1.0 / (g * g + 1.0));
  sendGain_.ApplyGain(send_.Data(), send_.Data());

  const double m = smoothed_ * amplitudeAmount.ValueWithin(0.0, 1.0) * 2.0;
  const double att = 1.0 / (m * m + 1.0);
  const float o = (pan + 1.0f) * 0.5f;
  leftGain_.Set(PanLaw(o) * att);
  rightGain_.Set(PanLaw(1.0f - o) * att);

  float* l = left_.Data();
  float* r = right_.Data();
  direct_.Read(smoothed_ * (dopplerAmount.ValueWithin(0.0, 2.0) * 40.0) / kSpeedOfSound, l);
  rightGain_.ApplyGain(l, r);
  leftGain_.ApplyGain(l, l);
}

}  // namespace tg
