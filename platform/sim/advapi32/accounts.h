// Local accounts of the machine, shared by the account, hive and user-list functions.
#pragma once

#include "core/internal.h"

#include <vector>

namespace sim::detail
{

// The accounts in the order they were made; the signed-in "User" first. StateLock held.
std::vector<LocalUser>& Accounts();
// C:\Users\<name>\ntuser.dat
WString HiveFileOf(const LocalUser& user);
constexpr WStringView kProfilesFolder = u"C:\\Users";

} // namespace sim::detail
