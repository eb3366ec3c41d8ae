// The driver store, shared with the spooler's package installs. Every function here expects
// StateLock held.
#pragma once

#include "core/internal.h"

#include <sim/spooler.h>

namespace sim::detail
{

// The package a published name (oemNN.inf, with or without the INF folder) or a store INF path
// names; null when it is not in the store.
const StorePackage* FindStorePackage(WStringView nameOrPath);
WString StoreFolderOf(const StorePackage& package);

} // namespace sim::detail
