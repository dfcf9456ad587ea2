// Local IPv4 address and link-layer address, from the kernel's interfaces.
#pragma once

#include <string>

namespace ovra::machine {

struct NetworkFacts {
  std::string ip = "127.0.0.1";
  std::string mac = "00:00:00:00:00:00";
};

// The IPv4 source address the kernel's routing would use towards the
// internet (asked over a netlink route socket); without such a route, the
// first IPv4 address of an interface that is up and not loopback. The MAC is
// the first six-byte, not all-zero hardware address in interface order.
NetworkFacts network_facts();

}  // namespace ovra::machine
