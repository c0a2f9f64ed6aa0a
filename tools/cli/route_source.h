// Which of this computer's addresses the kernel sends from to reach an address.
#pragma once

#include <cstdint>
#include <string>

namespace orvandel::cli {

// Connects a scratch UDP socket to address:port (nothing is sent) and reads the
// source address the kernel chose from its route; broadcast addresses are
// allowed. Empty, with `error` saying why, when no route reaches the address.
std::string RouteSource(const std::string& address, std::uint16_t port, std::string& error);

}  // namespace orvandel::cli
