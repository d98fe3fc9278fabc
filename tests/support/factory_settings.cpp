#include "factory_settings.h"

#include "test_support.h"

namespace testsupport {

TGlobalSet FactorySettings() {
  TGlobalSet set = FactoryGlobalSet();
  set.FlagModernRecognition = false;  // these tests check the label-driven records
  return set;
}

std::shared_ptr<const TGlobalSet> FactorySnapshot() {
  return std::make_shared<const TGlobalSet>(FactorySettings());
}

}  // namespace testsupport
