// indi_corvex_ccd: the camera as an INDI device. libindidriver brings main() and the event
// loop; it dispatches every client request to the devices that exist, so the driver is one
// object that lives as long as the process.
#include <memory>

#include "corvex_ccd.h"

namespace {
const std::unique_ptr<corvex::indi::CorvexCcd> driver = std::make_unique<corvex::indi::CorvexCcd>();
}  // namespace
