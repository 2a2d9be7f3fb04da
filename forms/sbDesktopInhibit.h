// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard's way to keep the computer awake during a write, a verification
// or an erase: logind's inhibitor and the desktop portal through Qt D-Bus,
// handed to the engine (engine/sbInhibit.h), which decides when and which.
#pragma once

#include "engine/sbInhibit.h"

#include <memory>

std::shared_ptr<IsbInhibitBus> MakeDesktopInhibitBus();
