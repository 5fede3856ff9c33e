#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "dsp/BlockConstants.h"

namespace tg {

// How a grain of a length splits into attack, sustain and decay, in samples.
struct GrainSegments {
  uint32_t attack = 0;
  uint32_t sustain = 0;
  uint32_t decay = 0;

  // sustainShare of the length is held at full level, skew of the rest goes
  // to the attack; attack and decay last at least minEdge samples.
  static GrainSegments Of(double length, double sustainShare, double skew, uint32_t minEdge = 0) {
    const double l = length > 0.0 ? std::min(length, 1e8) : 0.0;  // also not a number
    const double a = sustainShare > 0.0 ? std::min(sustainShare, 1.0) : 0.0;
    const double s = skew > 0.0 ? std::min(skew, 1.0) : 0.0;
    GrainSegments g;
    g.sustain = static_cast<uint32_t>(l * a);
    g.attack = static_cast<uint32_t>((l - g.sustain) * s);
    g.decay = static_cast<uint32_t>(std::max(l - g.sustain - g.attack, 0.0));
    g.attack = std::max(g.attack, minEdge);
    g.decay = std::max(g.decay, minEdge);
    return g;
  }
};

// Straight edges: the rise from silence to full level, the fall from wherever
// the rise ended back to silence.
class LinearRamp {
 public:
  void BeginRise(uint32_t samples) {
    level_ = samples == 0 ? 1.0f : 0.0f;
    step_ = samples == 0 ? 0.0f : 1.0f / static_cast<float>(samples);
  }
  void BeginFall(uint32_t samples) {
    step_ = samples == 0 ? 0.0f : -level_ / static_cast<float>(samples);
  }
  float Held() const { return level_; }
  float Next() {
    const float e = level_;
    level_ += step_;
    return e;
  }

 private:
  float level_ = 0.0f;
  float step_ = 0.0f;
};

// Raised-cosine edges, from a vector rotated half a turn over the edge.
class RaisedCosineRamp {
 public:
  void BeginRise(uint32_t samples) { Begin(samples, -1.0f); }
  void BeginFall(uint32_t samples) { Begin(samples, 1.0f); }
  float Held() const { return 1.0f; }
  float Next() {
    const float nx = cosW_ * x_ - sinW_ * y_;
    y_ = x_ * sinW_ + cosW_ * y_;
    x_ = nx;
    return 0.5f * (1.0f + y_);
  }

 private:
  void Begin(uint32_t samples, float y) {
    const float w = 3.1415925f / static_cast<float>(std::max<uint32_t>(samples, 1));
    sinW_ = std::sin(w);
    cosW_ = std::cos(w);
    x_ = 0.0f;
    y_ = y;
  }
  float sinW_ = 0.0f, cosW_ = 1.0f, x_ = 0.0f, y_ = 1.0f;
};

// What a grain reads for one block: left and right (the same block for a
// mono source), valid from the grain's first sample in the block.
struct GrainInput {
  const float* left;
  const float* right;
};

// The envelope and the pan gains of one grain, and when it starts. What it
// reads is its owner's business; Ramp shapes the attack and decay edges.
template <typename Ramp>
class GrainVoice {
 public:
  enum class Stage : uint8_t { Attack, Sustain, Decay, Finished };

  // Audio thread: the grain starts onset samples after the current block's
  // start and sounds at these gains on the two sides.
  void Start(int64_t onset, GrainSegments segments, float leftGain, float rightGain) {
    startOffset_ = onset > 0 ? onset : 0;
    segments_ = segments;
    leftGain_ = leftGain;
    rightGain_ = rightGain;
    stage_ = Stage::Attack;
    ramp_.BeginRise(segments.attack);
  }

  // Audio thread, once a block: a grain that starts in a later block only
  // counts down; otherwise read(first sample) gives the grain's input for
  // this block and the enveloped grain is added to both outlets. Answers
  // whether the grain has finished.
  template <typename Read>
  bool Render(float* outLeft, float* outRight, Read&& read) {
    if (startOffset_ >= kBlockSize) {
      startOffset_ -= kBlockSize;
      return false;
    }
    const int from = static_cast<int>(startOffset_);
    startOffset_ = 0;
    const GrainInput in = read(from);
    return Envelope(in, outLeft, outRight, from);
  }

  bool Waiting() const { return startOffset_ >= kBlockSize; }
  int64_t StartOffset() const { return startOffset_; }
  Stage GetStage() const { return stage_; }
  const GrainSegments& Remaining() const { return segments_; }
  float LeftGain() const { return leftGain_; }
  float RightGain() const { return rightGain_; }

 private:
  bool Envelope(const GrainInput& in, float* outLeft, float* outRight, int i) {
    while (stage_ != Stage::Finished) {
      uint32_t& left = stage_ == Stage::Attack    ? segments_.attack
                       : stage_ == Stage::Sustain ? segments_.sustain
                                                  : segments_.decay;
      if (left > 0) {
        if (i >= kBlockSize) return false;
        const int n =
            static_cast<int>(std::min<uint32_t>(left, static_cast<uint32_t>(kBlockSize - i)));
        if (stage_ == Stage::Sustain) {
          Hold(in, outLeft, outRight, i, n);
        } else {
          Edge(in, outLeft, outRight, i, n);
        }
        i += n;
        left -= static_cast<uint32_t>(n);
        if (left > 0) return false;
      }
      if (stage_ == Stage::Attack) {
        stage_ = Stage::Sustain;
      } else if (stage_ == Stage::Sustain) {
        stage_ = Stage::Decay;
        ramp_.BeginFall(segments_.decay);
      } else {
        stage_ = Stage::Finished;
      }
    }
    return true;
  }
  void Edge(const GrainInput& in, float* outLeft, float* outRight, int from, int n) {
    const float gl = leftGain_, gr = rightGain_;
    for (int i = from; i < from + n; ++i) {
      const float e = ramp_.Next();
      outLeft[i] += in.left[i] * e * gl;
      outRight[i] += in.right[i] * e * gr;
    }
  }
  void Hold(const GrainInput& in, float* outLeft, float* outRight, int from, int n) {
    const float gl = leftGain_ * ramp_.Held(), gr = rightGain_ * ramp_.Held();
    for (int i = from; i < from + n; ++i) {
      outLeft[i] += in.left[i] * gl;
      outRight[i] += in.right[i] * gr;
    }
  }

  int64_t startOffset_ = 0;
  GrainSegments segments_;
  float leftGain_ = 0.0f;
  float rightGain_ = 0.0f;
  Stage stage_ = Stage::Finished;
  Ramp ramp_;
};

}  // namespace tg
