#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "properties/QSProperty.h"
#include "properties/QSPropertyUnits.h"

namespace tg {

// The description of one parameter: its name, units, nominal range (none
// when minimum equals maximum) and, for a numeric one, its default: the value
// a new processor starts with. Editors take their ranges from here.
struct QSPropertyInfo {
  std::string name;
  const QSPropertyUnits* units = &QSAbstractUnits::Get();
  double minimum = 0.0;
  double maximum = 0.0;
  std::optional<double> defaultValue;
  // A state the processor keeps up to date (a file's length, whether it is
  // playing): documents carry it, but reading one does not restore it.
  bool isState = false;
  // A command the processor carries out and then resets (SoundOut's play
  // and record): documents and presets carry it, but giving one is no edit.
  bool isCommand = false;
  bool HasRange() const { return minimum < maximum; }
};

// Holds a value read from a document, a preset or the clipboard to the
// parameter's declared range (a value that is not a number becomes the
// default), so that no text drives a processor where its controls cannot.
void HoldToRange(QSProperty& property, const QSPropertyInfo& info);

// The ordered parameters of a processor. The order is the order of values in
// documents and presets. All operations are for the user-interface thread.
class QSPropertyTable {
 public:
  virtual ~QSPropertyTable() = default;
  // The null property for a position outside 0..Count-1.
  virtual QSProperty& PropertyAt(int position) const = 0;
  // The null property for an unknown name (names are case-sensitive).
  virtual QSProperty& PropertyByName(std::string_view name) const = 0;
  virtual int Count() const = 0;
  // -1 for an unknown name.
  virtual int IndexOf(std::string_view name) const = 0;
  // position must be valid.
  virtual const QSPropertyInfo& InfoAt(int position) const = 0;
  // Reads a value list "{ v, v, … }"; a malformed list fails the stream and
  // keeps the values read before the fault.
  virtual void ReadFrom(std::istream& in) = 0;
  // Writes the value list "{ v, v, … }".
  virtual void WriteTo(std::ostream& out) const = 0;

  // Answers PropertyAt and PropertyByName when nothing matches.
  static QSProperty& NullProperty();
};

// A table embedded in a processor. One ClassInfo per processor class holds the
// descriptions and where each property sits relative to the table, so the
// same list serves every instance of the class.
class QSStaticPropertyTable final : public QSPropertyTable {
 public:
  struct PropertyInfo : QSPropertyInfo {
    std::ptrdiff_t offset = 0;  // of the property from the table, in bytes
  };
  struct ClassInfo {
    bool initialized = false;
    std::vector<PropertyInfo> infos;
    std::map<std::string, int, std::less<>> indexByName;
  };
  // Registers a processor's properties in their fixed order.
  class Registrar {
   public:
    Registrar(ClassInfo& info, QSStaticPropertyTable& table) : info_(info), table_(table) {}
    void operator()(QSProperty& property, std::string name,
                    const QSPropertyUnits& units = QSAbstractUnits::Get(), double minimum = 0.0,
                    double maximum = 0.0) {
      AddProperty(info_, table_, property, std::move(name), units, minimum, maximum);
    }
    // A state the processor keeps (see QSPropertyInfo::isState).
    void State(QSProperty& property, std::string name, double minimum = 0.0, double maximum = 0.0) {
      AddProperty(info_, table_, property, std::move(name), QSAbstractUnits::Get(), minimum,
                  maximum);
      info_.infos.back().isState = true;
    }
    // A command the processor carries out (see QSPropertyInfo::isCommand).
    void Command(QSProperty& property, std::string name, double minimum, double maximum) {
      AddProperty(info_, table_, property, std::move(name), QSAbstractUnits::Get(), minimum,
                  maximum);
      info_.infos.back().isCommand = true;
    }

   private:
    ClassInfo& info_;
    QSStaticPropertyTable& table_;
  };

  QSStaticPropertyTable() = default;
  QSStaticPropertyTable(const QSStaticPropertyTable&) = delete;
  QSStaticPropertyTable& operator=(const QSStaticPropertyTable&) = delete;

  // Appends one parameter; a name already known keeps its first position.
  static void AddProperty(ClassInfo& info, QSStaticPropertyTable& table, QSProperty& property,
                          std::string name, const QSPropertyUnits& units, double minimum,
                          double maximum);

  // The pattern of every processor's GetPropertyTable: registers the class's
  // properties the first time, then points this table at the class info.
  template <typename RegisterFn>
  QSStaticPropertyTable* Bind(ClassInfo& info, RegisterFn&& registerProperties) {
    if (!info.initialized) {
      Registrar add(info, *this);
      registerProperties(add);
      info.initialized = true;
    }
    classInfo_ = &info;
    return this;
  }

  QSProperty& PropertyAt(int position) const override;
  QSProperty& PropertyByName(std::string_view name) const override;
  int Count() const override;
  int IndexOf(std::string_view name) const override;
  const QSPropertyInfo& InfoAt(int position) const override;
  void ReadFrom(std::istream& in) override;
  void WriteTo(std::ostream& out) const override;

 private:
  const ClassInfo* classInfo_ = nullptr;
};

}  // namespace tg
