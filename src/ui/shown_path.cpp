#include "ui/shown_path.h"

#include <QDir>

#include "corvex.h"

namespace corvex::ui {

QString ShownPath(const std::filesystem::path& path) {
  const QString text = QString::fromStdString(path.lexically_normal().string());
  const QString home = QDir::homePath();
  if (home.isEmpty() || home == "/") return text;
  if (text == home) return "~";
  if (text.startsWith(home + "/")) return "~" + text.mid(home.size());
  return text;
}

QString ShownStoredPath(const Corvex& corvex, std::string_view stored) {
  if (stored.empty()) return {};
  return ShownPath(corvex.paths.Map(stored));
}

}  // namespace corvex::ui
