// The PGM reader (guider dark frames) on arbitrary bytes: it either gives exactly the
// samples asked for or says why not.
#include <cstddef>
#include <cstdint>
#include <span>

#include "files/pgm_file.h"
#include "quiet_host.h"

using namespace corvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte picks the size asked for: the guider's 500 x 290 or a tiny 4 x 3, which
  // lets the fuzzer reach the samples quickly.
  if (size == 0) return 0;
  const bool tiny = data[0] & 1;
  const int width = tiny ? 4 : 500;
  const int height = tiny ? 3 : 290;
  const PgmImage image = DecodePgm(std::span<const std::uint8_t>(data + 1, size - 1), width, height);
  if (image.error.empty()) {
    fuzz::Require(image.values.size() == static_cast<std::size_t>(width) * height,
                  "a decoded PGM has every sample");
  } else {
    fuzz::Require(image.values.empty(), "a refused PGM gives no samples");
  }
  return 0;
}
