#include "graph/QSSignal.h"

namespace tg {

namespace {
const QSSignal gSilent;
QSSignal gUnassigned;
}  // namespace

const QSSignal& QSSignal::Silent() { return gSilent; }
QSSignal* QSSignal::Unassigned() { return &gUnassigned; }

QSSignal& QSSignal::operator+=(const QSSignal& other) {
  for (int i = 0; i < kBlockSize; ++i) samples_[i] += other.samples_[i];
  return *this;
}
QSSignal& QSSignal::operator-=(const QSSignal& other) {
  for (int i = 0; i < kBlockSize; ++i) samples_[i] -= other.samples_[i];
  return *this;
}
QSSignal& QSSignal::operator*=(const QSSignal& other) {
  for (int i = 0; i < kBlockSize; ++i) samples_[i] *= other.samples_[i];
  return *this;
}
QSSignal& QSSignal::operator/=(const QSSignal& other) {
  for (int i = 0; i < kBlockSize; ++i) samples_[i] /= other.samples_[i];
  return *this;
}
QSSignal& QSSignal::operator+=(float k) {
  for (float& s : samples_) s += k;
  return *this;
}
QSSignal& QSSignal::operator-=(float k) {
  for (float& s : samples_) s -= k;
  return *this;
}
QSSignal& QSSignal::operator*=(float k) {
  for (float& s : samples_) s *= k;
  return *this;
}
QSSignal& QSSignal::operator/=(float k) {
  for (float& s : samples_) s /= k;
  return *this;
}

void QSSignal::AddScaled(const QSSignal& a, float k) {
  for (int i = 0; i < kBlockSize; ++i) samples_[i] += a.samples_[i] * k;
}
void QSSignal::AddProduct(const QSSignal& a, const QSSignal& b) {
  for (int i = 0; i < kBlockSize; ++i) samples_[i] += a.samples_[i] * b.samples_[i];
}
void QSSignal::SetScaled(const QSSignal& a, float k) {
  for (int i = 0; i < kBlockSize; ++i) samples_[i] = a.samples_[i] * k;
}
void QSSignal::SetProduct(const QSSignal& a, const QSSignal& b) {
  for (int i = 0; i < kBlockSize; ++i) samples_[i] = a.samples_[i] * b.samples_[i];
}

}  // namespace tg
