// The message table and the one operation that shows its entries.
#include "state/messages.h"

#include <utility>

namespace corvex {

namespace {

constexpr std::string_view kNotInStandardGeometry =
    "Sorry, Values only available in standard Geometry. Ensure Image is not stretched to fit "
    "window or in QZ geometry.";
constexpr std::string_view kNotColourConverted = "Image not Colour Converted";
constexpr std::string_view kCannotLoadSettings =
    "Unable to load INI file, please delete and try again";
constexpr std::string_view kCannotSaveSettings = "Unable to save INI file, please check disk space";
constexpr std::string_view kCannotCreateFile = "Unable to create file, check disk space";
constexpr std::string_view kNotSavedByUs =
    "Unable to load FITS file, File was not saved by this program";
constexpr std::string_view kCannotOverwriteRaw = "Unable to create/overwrite QZ File";

constexpr std::pair<unsigned, std::string_view> kMessageTable[] = {
    {1, kNotInStandardGeometry},
    {2, "Sorry, outside Image area - try again"},
    {6, kCannotCreateFile},
    {7, kNotColourConverted},
    {8, "Failed to create temp bitmap"},
    {9, "Unable to create temp bitmap file header"},
    {10, "Unable to create temp bitmap file"},
    {11, "Failed to Open QZ File"},
    {12, "You didn't choose a valid QZ File"},
    {13, "Unable to load FITS file"},
    {14, kNotSavedByUs},
    {15, kNotSavedByUs},
    {16, "Sorry, you didn't choose an QZ File"},
    {17, "Failed to Save QZ File"},
    {18, kCannotOverwriteRaw},
    {19, kCannotOverwriteRaw},
    {20, kCannotLoadSettings},
    {21, kCannotSaveSettings},
    {22, "Already Colour Converted"},
    {23, kCannotLoadSettings},
    {24, kCannotSaveSettings},
    {25, kNotColourConverted},
    {26, kNotColourConverted},
    {27, kCannotLoadSettings},
    {28, kCannotSaveSettings},
    {29, kCannotCreateFile},
    {30,
     "Sorry, Merging only available in standard Geometry. Ensure Image is not stretched to fit "
     "window or in QZ geometry."},
    {31, "Sorry, you are already in Merging mode."},
    {32, "Cannot open bitmap file"},
    {33, "Sorry, probably lost star"},
    {34, "Sorry, problem with slew and sum"},
    {35, "Sorry, not available in this display mode"},
    {51, "Guiding Terminated"},
    {52, "Sorry! Cannot communicate with chosen com port. Self-guiding not available"},
    {53, "You must first take an image and pick a star"},
    {54, "Communication with telescope failed"},
    {55, "error 55"},
    {57, "Selfguiding terminated - lost star"},
    {59, "Sorry, already guiding with external camera"},
};

}  // namespace

std::string MessageText(unsigned code, std::string_view text) {
  if (code == kFreeTextMessage) return std::string(text.substr(0, kFreeTextLimit));
  for (const auto& [tableCode, tableText] : kMessageTable) {
    if (tableCode == code) return std::string(tableText);
  }
  return {};
}

MessageResult ShowMessage(Host& host, unsigned code, std::string_view text) {
  return host.ShowMessageBox(MessageText(code, text), kMessageCaption, MessageButtons::kOk,
                             MessageIcon::kNone);
}

}  // namespace corvex
