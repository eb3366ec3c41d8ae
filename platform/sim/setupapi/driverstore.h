// The driver store, shared with the spooler's package installs. Every function here expects
// StateLock held.
#pragma once

#include "core/internal.h"

#include <sim/spooler.h>

#include <functional>

namespace sim::detail
{

// The package a published name (oemNN.inf, with or without the INF folder) or a store INF path
// names; null when it is not in the store.
const StorePackage* FindStorePackage(WStringView nameOrPath);
WString StoreFolderOf(const StorePackage& package);

struct Inf;
// Puts the INF at `source` and the files its [SourceDisksFiles] list into the store, published as the
// next free oemNN.inf, unless `accept` refuses it (its error); a package stored already is found
// (`existed`). ERROR_SUCCESS or the error that stopped it.
DWORD StoreInfPackage(const WString& source, const StorePackage** stored, bool* existed,
                      const std::function<DWORD(const Inf&)>& accept = {});

} // namespace sim::detail
