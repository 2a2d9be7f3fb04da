// SPDX-License-Identifier: GPL-2.0-or-later
// The messages of the software under a backend (libburn's queue), handed on
// to the program that asked for them with StarBurn_SetMessageHandler.
#pragma once

#include <cstdint>
#include <string>

namespace starburn {

// The kinds of StarBurnLinux.h (SB_MESSAGE_ERROR, _WARNING, _DEBUG).
enum class MessageKind : uint32_t { error = 0, warning = 1, debug = 2 };

// Hands one message to the program's handler, if one is set and wants this
// kind. Called in the order the messages came, one at a time.
void deliverMessage(MessageKind kind, const std::string& severity, int code, int osErrno,
                    const std::string& text);

} // namespace starburn
