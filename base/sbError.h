// SPDX-License-Identifier: GPL-2.0-or-later
// The one error class of the program: every failure that reaches the user
// travels as an EsbError whose message is the text the user reads.
#pragma once

#include <stdexcept>
#include <string>

class EsbError : public std::runtime_error {
public:
    explicit EsbError(const std::string& message) : std::runtime_error(message) {}
    explicit EsbError(const char* message) : std::runtime_error(message) {}
};
