#include "factory_settings.h"

#include "test_support.h"

namespace testsupport {

TGlobalSet FactorySettings() {
  return FactoryGlobalSet();
}

std::shared_ptr<const TGlobalSet> FactorySnapshot() {
  return std::make_shared<const TGlobalSet>(FactorySettings());
}

}  // namespace testsupport
