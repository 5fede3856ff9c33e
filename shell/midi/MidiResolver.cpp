#include "shell/midi/MidiResolver.h"

#include "contraptions/generators/bassline/TGBassline.h"
#include "contraptions/generators/drums/TGDrums.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "properties/QSIntProperty.h"
#include "properties/QSPropertyTable.h"
#include "properties/QSRangeProperty.h"

namespace tg {

namespace midi_resolver {

MidiTarget::Source SourceOf(MidiBinding::Source source) {
  switch (source) {
    case MidiBinding::Source::Controller14:
      return MidiTarget::Source::Controller14;
    case MidiBinding::Source::Note:
      return MidiTarget::Source::Note;
    case MidiBinding::Source::PitchBend:
      return MidiTarget::Source::PitchBend;
    default:
      return MidiTarget::Source::Controller7;
  }
}

// Range and scale from the parameter's description; false for a parameter
// that has neither (a text, a pattern as a whole).
bool TakeRange(MidiTarget& t, const QSPropertyInfo& info, bool logarithmic) {
  if (info.isState || !info.HasRange()) return false;
  t.minimum = info.minimum;
  t.maximum = info.maximum;
  t.logarithmic = (logarithmic || info.units->IsFrequency()) && info.minimum > 0.0;
  return true;
}

bool Resolve(const MidiBinding& b, TGardeningContraption& c, MidiTarget& t) {
  QSSignalProcessor& processor = c.Processor();
  t.processor = &processor;
  t.source = SourceOf(b.source);
  t.channel = b.channel;
  t.number = b.number;
  t.pickUp = b.pickUp;
  t.momentary = b.momentary;
  t.index = b.target.index;
  QSPropertyTable* table = processor.GetPropertyTable();
  const int position = table == nullptr ? -1 : table->IndexOf(b.target.parameter);
  QSProperty* property = position < 0 ? nullptr : &table->PropertyAt(position);
  using Kind = MidiTargetSpec::Kind;
  switch (b.target.kind) {
    case Kind::Value: {
      if (property == nullptr) return false;
      const QSPropertyInfo& info = table->InfoAt(position);
      t.action = MidiTarget::Action::Value;
      t.property = property;
      if (property->KindCode() == QSProperty::kBool) {
        t.boolean = true;
        t.minimum = 0.0;
        t.maximum = 1.0;
        return !info.isState;
      }
      if (property->KindCode() != QSProperty::kDouble && property->KindCode() != QSProperty::kInt)
        return false;
      t.integral = property->KindCode() == QSProperty::kInt;
      return TakeRange(t, info, b.logarithmic);
    }
    case Kind::Bit:
      t.action = MidiTarget::Action::Bit;
      t.bits = dynamic_cast<QSIntProperty*>(property);
      t.boolean = true;
      t.maximum = 1.0;
      return t.bits != nullptr && t.index >= 0 && t.index < 32;
    case Kind::RangeLow:
    case Kind::RangeHigh:
      t.action = b.target.kind == Kind::RangeLow ? MidiTarget::Action::RangeLow
                                                 : MidiTarget::Action::RangeHigh;
      t.range = dynamic_cast<QSRangeProperty*>(property);
      return t.range != nullptr && TakeRange(t, table->InfoAt(position), b.logarithmic);
    case Kind::Transpose:
      t.action = MidiTarget::Action::Transpose;
      t.bassline = dynamic_cast<TGBassline*>(&processor);
      t.index = b.number;  // the root note
      return t.bassline != nullptr;
    case Kind::Pad:
      t.action = MidiTarget::Action::Pad;
      t.drums = dynamic_cast<TGDrums*>(&processor);
      return t.drums != nullptr && t.index >= 0 && t.index < TGDrums::kSlots;
    default:
      return false;
  }
}

}  // namespace midi_resolver

ResolvedMidi ResolveMidiTargets(const MidiBindingList& bindings, const TContraptionFactory& factory,
                                uint64_t generation) {
  ResolvedMidi resolved;
  resolved.map = std::make_unique<MidiTargetMap>();
  resolved.map->generation = generation;
  const std::vector<MidiBinding>& all = bindings.All();
  for (size_t i = 0; i < all.size(); ++i) {
    const MidiBinding& b = all[i];
    if (b.source == MidiBinding::Source::Program) continue;
    TGardeningContraption* c = factory.FindContraption(b.target.contraption);
    if (c == nullptr) continue;
    MidiTarget t;
    if (!midi_resolver::Resolve(b, *c, t)) continue;
    resolved.map->targets.push_back(t);
    resolved.bindingOf.push_back(i);
  }
  return resolved;
}

}  // namespace tg
