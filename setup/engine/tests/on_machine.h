// The engine's tests include the shared helper by its old name.
#pragma once

#include <testing/on_machine.h>
