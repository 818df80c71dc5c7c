// The texts and numbers of the FITS header: one record for the whole run, filled by the
// header dialog, the capture run, the settings file and the FITS reader.
#pragma once

#include <string>

#include "processing/processing_history.h"

namespace corvex {

inline constexpr const char* kDefaultInstrument = "Quellmark CCD";

struct FitsHeaderFields {
  std::string object;                           // OBJECT
  std::string observer;                         // OBSERVER
  std::string observationDate;                  // DATE-OBS
  std::string observationTime;                  // TIME-OBS
  std::string origin;                           // ORIGIN
  std::string telescope;                        // TELESCOP
  std::string instrument = kDefaultInstrument;  // INSTRUME
  std::string commentText;                      // four COMMENT cards
  std::string historyNote;                      // four HISTORY cards after the processing history
  // Hours from local time to UT. Stored and edited for files from the original program; the
  // clock here already runs on UT, so it is never added to a time.
  int utOffsetHours = 0;
  double exposureSeconds = 0;       // EXPTIME
  double pixelWidth = 0;            // PIXWIDTH, mm
  double pixelHeight = 0;           // PIXHEIGH, mm
  double focalLength = 0;           // FOCALLEN
  double aperture = 0;              // APERTURE
  std::string filterName = "None";  // FILTER
  bool unsignedFormat = false;      // BZERO 0 and SATURATE 65535, else BZERO 32768
};

// What loading a new image clears: the processing history and the texts that describe one
// image. `origin`, `observationTime`, the numbers and `filterName` stay.
void ResetFitsHeaderTexts(FitsHeaderFields& fields, ProcessingHistory& history);

}  // namespace corvex
