#pragma once

#include "framework/TContraptionMaker.h"

namespace tg {

// The maker of one buss size: a buss of that many channels, with no window.
template <typename Buss>
class TBussMaker final : public TContraptionMaker {
 public:
  TBussMaker(std::string typeName, std::string category, int channels)
      : TContraptionMaker(std::move(typeName), std::move(category), 0, false),
        channels_(channels) {}
  std::unique_ptr<TGardeningContraption> Create(ContraptionEngine& engine,
                                                std::string_view name) override {
    return std::make_unique<TGardeningContraption>(
        engine, *this, std::make_unique<Buss>(nullptr, channels_), name);
  }

 private:
  int channels_;
};

}  // namespace tg
