// What the desktop-window tests share: a program's context on a virtual clock in a private
// home directory, with the Qt host answering every message box itself and keeping its text,
// and the folder the screenshots go to.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <filesystem>
#include <string>

#include "corvex.h"
#include "platform/clock.h"
#include "ui/qt_host.h"

namespace corvex::ui::testing {

struct QtProgram {
  QtProgram() : corvex(host, clock, Home()) {
    host.answerAutomatically = true;
    host.SetCorvex(&corvex);
  }
  std::filesystem::path Home() const { return std::filesystem::path(home.path().toStdString()); }
  bool Said(const std::string& text) const {
    for (const std::string& said : host.answeredTexts) {
      if (said == text) return true;
    }
    return false;
  }

  QTemporaryDir home;
  VirtualClock clock;
  QtHost host;
  Corvex corvex;
};

// build/screenshots, made when first asked for.
inline QString Screenshots() {
  const QString dir = QString(CORVEX_SCREENSHOT_DIR);
  std::filesystem::create_directories(dir.toStdString());
  return dir;
}

}  // namespace corvex::ui::testing
