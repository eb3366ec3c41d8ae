// The engine's tests include the shared install machines by their old name.
#pragma once

#include <testing/machines.h>
