#pragma once

namespace tg {

// A tag telling what a parameter's numbers mean. Each kind exists once.
class QSPropertyUnits {
 public:
  virtual ~QSPropertyUnits() = default;
  QSPropertyUnits(const QSPropertyUnits&) = delete;
  QSPropertyUnits& operator=(const QSPropertyUnits&) = delete;
  virtual bool IsFrequency() const { return false; }

 protected:
  QSPropertyUnits() = default;
};

#define TG_DECLARE_UNITS(Name)                \
  class Name final : public QSPropertyUnits { \
   public:                                    \
    static const Name& Get() {                \
      static const Name instance;             \
      return instance;                        \
    }                                         \
    bool IsFrequency() const override;        \
                                              \
   private:                                   \
    Name() = default;                         \
  };

TG_DECLARE_UNITS(QSFrequencyUnits)
TG_DECLARE_UNITS(QSVolumeUnits)
TG_DECLARE_UNITS(QSGainUnits)
TG_DECLARE_UNITS(QSAbstractUnits)
TG_DECLARE_UNITS(QSFractionUnits)
TG_DECLARE_UNITS(QSTimeMillisecondsUnits)
TG_DECLARE_UNITS(QSTimeSecondsUnits)
TG_DECLARE_UNITS(QSPanningUnits)
TG_DECLARE_UNITS(QSTranspositionUnits)

#undef TG_DECLARE_UNITS

}  // namespace tg
