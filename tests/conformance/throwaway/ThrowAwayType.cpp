#include "tests/conformance/throwaway/TGThrowAway.h"

namespace tg::test {

const ContraptionDescriptor& ThrowAwayType() {
  static const ContraptionDescriptor type{
      .typeName = "ThrowAway",
      .category = "Test Bench",
      .helpNumber = 4711,
      .helpPage = "throwaway.html",
      .helpTitle = "ThrowAway",
      .makeMaker = OrdinaryMakers<TGThrowAway>(),
  };
  return type;
}

}  // namespace tg::test
