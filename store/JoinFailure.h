#pragma once

#include "wifi/SystemError.h"

namespace ondrel {

// The message group a failed join falls into.
enum class JoinFailure {
    checkPassword,     // missing or wrong secrets, the supplicant gave up
    refusedOrTimedOut, // the network was not found, refused or did not answer
    notPermitted,      // the system's policy refused the operation itself
    other,             // anything else: the failure's own description is shown
};

// The group of a join failure, by its domain and code. The engine's own
// failures (no interface, gone) are `other`, so their own text is shown.
JoinFailure classifyJoinFailure(const SystemError& error);

} // namespace ondrel
