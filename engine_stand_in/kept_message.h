#pragma once

#include <glib.h>

#include <cstdint>
#include <vector>

// Messages kept where the UI link received them. A kept message is an
// ordinary GBytes whose bytes are followed in memory by a NUL byte that the
// message itself does not hold, so that the codec can hand out a large text
// that ends the message as a view into it, not a second copy: a label
// document is held once while its call is in flight.
//
// What marks a message as kept is its entry here, which lives exactly as
// long as its bytes: KeepMessage makes it, and the last reference to the
// GBytes ends it. Safe from any thread.

// Takes `body` and gives the message over its bytes (transfer full).
GBytes* KeepMessage(std::vector<uint8_t>&& body);

// True when `message` is a kept message, its NUL byte included: the bytes
// of KeepMessage, whole (a part of them is followed by a byte of the
// message, not the NUL).
bool IsKeptMessage(GBytes* message);
