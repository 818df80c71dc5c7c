// The mount as a device on an INDI server, through Debian's INDI client library. Only
// indi_mount.cpp sees the library: everything else holds a Mount.
#pragma once

#include <memory>
#include <string>

#include "files/program_options_file.h"
#include "mount/mount.h"

namespace corvex {

// A mount called `device` on the server at host:port; an empty `device` takes the first
// device the server offers that has equatorial coordinates. Nothing is connected until
// Connect.
std::unique_ptr<Mount> MakeIndiMount(std::string host, int port, std::string device);
// The mount corvex.conf names (indi.server, indi.mount); null when indi.server is not
// HOST:PORT.
std::unique_ptr<Mount> MakeConfiguredIndiMount(const ProgramOptions& options);

}  // namespace corvex
