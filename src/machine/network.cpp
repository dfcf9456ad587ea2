#include "machine/network.hpp"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

namespace ovra::machine {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string dotted(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);  // cannot fail for AF_INET with this buffer
  return text;
}

// Asks the kernel for its route to a public address (no packet is sent) and
// returns the preferred source address of that route.
std::optional<in_addr> routed_source_address() {
  Fd sock(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
  if (sock.get() < 0) return std::nullopt;
  const timeval timeout{1, 0};
  ::setsockopt(sock.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

  in_addr destination{};
  ::inet_pton(AF_INET, "8.8.8.8", &destination);

  struct {
    nlmsghdr header;
    rtmsg route;
    alignas(NLMSG_ALIGNTO) char attributes[RTA_SPACE(sizeof(in_addr))];
  } request{};
  constexpr std::uint32_t kSequence = 1;
  request.header.nlmsg_type = RTM_GETROUTE;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.header.nlmsg_seq = kSequence;
  request.route.rtm_family = AF_INET;
  request.route.rtm_dst_len = 32;
  auto* dst = reinterpret_cast<rtattr*>(request.attributes);
  dst->rta_type = RTA_DST;
  dst->rta_len = RTA_LENGTH(sizeof destination);
  std::memcpy(RTA_DATA(dst), &destination, sizeof destination);
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg)) + RTA_SPACE(sizeof destination);

  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(sock.get(), &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) < 0) {
    return std::nullopt;
  }

  alignas(nlmsghdr) char buffer[8192];
  for (;;) {
    sockaddr_nl from{};
    socklen_t from_len = sizeof from;
    const ssize_t n =
        ::recvfrom(sock.get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &from_len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (from.nl_pid != 0) continue;  // only the kernel answers
    int remaining = static_cast<int>(n);
    for (auto* msg = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(msg, remaining);
         msg = NLMSG_NEXT(msg, remaining)) {
      if (msg->nlmsg_seq != kSequence) continue;
      if (msg->nlmsg_type != RTM_NEWROUTE) return std::nullopt;  // NLMSG_ERROR: no route
      auto* route = static_cast<rtmsg*>(NLMSG_DATA(msg));
      int length = static_cast<int>(RTM_PAYLOAD(msg));
      for (auto* attr = RTM_RTA(route); RTA_OK(attr, length); attr = RTA_NEXT(attr, length)) {
        if (attr->rta_type == RTA_PREFSRC && RTA_PAYLOAD(attr) == sizeof(in_addr)) {
          in_addr source{};
          std::memcpy(&source, RTA_DATA(attr), sizeof source);
          if (source.s_addr == htonl(INADDR_ANY)) return std::nullopt;
          return source;
        }
      }
      return std::nullopt;
    }
  }
}

std::string hex_mac(const unsigned char* bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(17);
  for (int i = 0; i < 6; ++i) {
    if (i > 0) text += ':';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace

NetworkFacts network_facts() {
  NetworkFacts facts;
  const std::optional<in_addr> routed = routed_source_address();
  if (routed) facts.ip = dotted(*routed);

  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return facts;
  bool have_ip = routed.has_value();
  bool have_mac = false;
  for (const ifaddrs* entry = list; entry != nullptr && !(have_ip && have_mac); entry = entry->ifa_next) {
    const sockaddr* address = entry->ifa_addr;
    if (address == nullptr) continue;
    if (!have_mac && address->sa_family == AF_PACKET) {
      const auto* link = reinterpret_cast<const sockaddr_ll*>(address);
      if (link->sll_halen == 6 &&
          std::any_of(link->sll_addr, link->sll_addr + 6, [](unsigned char b) { return b != 0; })) {
        facts.mac = hex_mac(link->sll_addr);
        have_mac = true;
      }
    } else if (!have_ip && address->sa_family == AF_INET) {
      const bool usable = (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_LOOPBACK) == 0;
      if (usable) {
        facts.ip = dotted(reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
        have_ip = true;
      }
    }
  }
  ::freeifaddrs(list);
  return facts;
}

}  // namespace ovra::machine
