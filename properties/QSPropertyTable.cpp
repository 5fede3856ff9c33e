#include "properties/QSPropertyTable.h"

#include <algorithm>
#include <cmath>
#include <istream>
#include <ostream>
#include <utility>

#include "properties/QSBoolProperty.h"
#include "properties/QSRangeProperty.h"
#include "properties/TextIO.h"

namespace tg {

QSProperty& QSPropertyTable::NullProperty() {
  static QSBoolProperty null(false);
  return null;
}

void QSStaticPropertyTable::AddProperty(ClassInfo& info, QSStaticPropertyTable& table,
                                        QSProperty& property, std::string name,
                                        const QSPropertyUnits& units, double minimum,
                                        double maximum) {
  PropertyInfo entry;
  entry.name = std::move(name);
  entry.units = &units;
  entry.minimum = minimum;
  entry.maximum = maximum;
  // Tables are bound as the first processor of a class is made, before
  // anything has changed its values.
  entry.defaultValue = property.NumericValue();
  entry.offset = reinterpret_cast<const char*>(&property) - reinterpret_cast<const char*>(&table);
  const int position = static_cast<int>(info.infos.size());
  info.indexByName.emplace(entry.name, position);  // the first entry of a name wins
  info.infos.push_back(std::move(entry));
}

int QSStaticPropertyTable::Count() const {
  return classInfo_ == nullptr ? 0 : static_cast<int>(classInfo_->infos.size());
}

QSProperty& QSStaticPropertyTable::PropertyAt(int position) const {
  if (position < 0 || position >= Count()) return NullProperty();
  const std::ptrdiff_t offset = classInfo_->infos[static_cast<size_t>(position)].offset;
  // The property is a member of the same processor object as this table.
  auto* base = const_cast<char*>(reinterpret_cast<const char*>(this));
  return *reinterpret_cast<QSProperty*>(base + offset);
}

int QSStaticPropertyTable::IndexOf(std::string_view name) const {
  if (classInfo_ == nullptr) return -1;
  auto it = classInfo_->indexByName.find(name);
  return it == classInfo_->indexByName.end() ? -1 : it->second;
}

QSProperty& QSStaticPropertyTable::PropertyByName(std::string_view name) const {
  return PropertyAt(IndexOf(name));
}

const QSPropertyInfo& QSStaticPropertyTable::InfoAt(int position) const {
  return classInfo_->infos.at(static_cast<size_t>(position));
}

void HoldToRange(QSProperty& property, const QSPropertyInfo& info) {
  if (!info.HasRange()) return;
  const auto held = [&info](double given) {
    return std::isnan(given) ? info.defaultValue.value_or(info.minimum)
                             : std::clamp(given, info.minimum, info.maximum);
  };
  if (const std::optional<double> number = property.NumericValue()) {
    if (const double h = held(*number); h != *number) property.SetNumericValue(h);
  } else if (auto* range = dynamic_cast<QSRangeProperty*>(&property)) {
    const FloatRange ends = range->Value();
    const FloatRange h{static_cast<float>(held(ends.low)), static_cast<float>(held(ends.high))};
    if (h.low != ends.low || h.high != ends.high) range->SetValue(h);
  }
}

void QSStaticPropertyTable::ReadFrom(std::istream& in) {
  if (textio::OpenList(in) != textio::ListStart::Values) return;
  textio::ReadListValues(in, Count(), [&](int p) {
    PropertyAt(p).ReadFrom(in);
    HoldToRange(PropertyAt(p), InfoAt(p));
  });
}

void QSStaticPropertyTable::WriteTo(std::ostream& out) const {
  out << "{ ";
  for (int p = 0; p < Count(); ++p) {
    if (p > 0) out << ", ";
    PropertyAt(p).WriteTo(out);
  }
  out << " }";
}

}  // namespace tg
