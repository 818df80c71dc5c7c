// The standard FITS reader (through cfitsio) on arbitrary bytes. The first byte picks the
// colour display's saturation factor used to read a colour cube; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "files/standard_fits.h"
#include "quiet_host.h"

using namespace corvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int saturation = 1 + data[0] % 9;
  const std::span<const std::uint8_t> file(data + 1, size - 1);

  StandardFitsContents contents;
  std::string problem;
  const int result = DecodeStandardFits(file, saturation, contents, problem);

  fuzz::Require(result == kStandardFitsOk || result == kStandardFitsNotFits ||
                    result == kStandardFitsDamaged || result == kStandardFitsWrongShape,
                "the reader returns one of its four results");
  fuzz::Require((result == kStandardFitsNotFits) == !StartsAsFits(file),
                "only bytes that do not start as FITS are 'not FITS'");
  if (result != kStandardFitsOk) {
    fuzz::Require(!problem.empty(), "a refusal says why");
    if (result == kStandardFitsWrongShape) {
      fuzz::Require(problem == WrongShapeText(contents.shape) && !contents.shape.Opens(),
                    "a wrong shape is named as the file holds it");
    }
    return 0;
  }
  fuzz::Require(contents.shape.Opens(), "only an image of the camera's size is read");
  fuzz::Require(contents.image.size() == static_cast<std::size_t>(kImageValues),
                "a read file gives every sample");
  fuzz::Require(contents.colour == contents.shape.Colour(), "a cube is read as colour");
  for (const auto* plane : {&contents.red, &contents.green, &contents.blue}) {
    fuzz::Require(plane->size() == static_cast<std::size_t>(contents.colour ? kImageValues : 0),
                  "a colour file gives whole planes, a mono one none");
  }
  for (const std::string* text : {&contents.fields.historyNote, &contents.fields.commentText}) {
    fuzz::Require(text->size() <= 255, "the note and comment fit the native header");
  }
  return 0;
}
