#include "machine/machine_info.hpp"

#include <string>

#include "machine/fingerprint.hpp"
#include "machine/network.hpp"
#include "machine/os_release.hpp"
#include "machine/system_facts.hpp"

namespace ovra::machine {

py::Dict get_machine_info() {
  const long cpus = cpu_count();
  const std::uint64_t memory = total_memory();
  const std::string name = host_name();
  const OsRelease os = read_os_release();
  const NetworkFacts network = network_facts();
  const std::string brand = cpus > 0 ? cpu_brand() : std::string("unknown");
  const std::string_view arch = build_arch();

  std::string text;
  text.reserve(name.size() + network.mac.size() + brand.size() + arch.size() + os.name.size() + 32);
  text += name;
  text += '-';
  text += network.mac;
  text += '-';
  text += brand;
  text += '-';
  text += std::to_string(memory);
  text += '-';
  text += arch;
  text += '-';
  text += os.name;

  py::Dict record = py::Dict::make();
  record.set_str<"machine_name">(name);
  record.set_str<"machine_os">(os.name);
  record.set_str<"machine_os_version">(os.version);
  record.set_str<"machine_os_arch">(arch);
  record.set_str<"machine_ip">(network.ip);
  record.set_str<"machine_mac">(network.mac);
  record.set_int<"cpu_count">(cpus);
  record.set_str<"cpu_brand">(brand);
  record.set<"total_memory">(py::Ref::checked(PyLong_FromUnsignedLongLong(memory)));
  record.set<"machine_fingerprint">(py::Ref::checked(PyLong_FromUnsignedLongLong(fingerprint(text))));
  return record;
}

}  // namespace ovra::machine
