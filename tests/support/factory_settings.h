#pragma once
// A settings record holding the factory keyword lists, for tests that analyse pages.

#include <memory>

#include "core/global_set.h"

namespace testsupport {

// The values the options dialog's default button sets: factory keyword lists, numbers and
// switches (all find switches on), with the recognition beyond the keyword lists off.
TGlobalSet FactorySettings();
std::shared_ptr<const TGlobalSet> FactorySnapshot();

}  // namespace testsupport
