#include "ui/corvex_frame.h"

#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <set>

#include "corvex.h"
#include "ui/command_map.h"
#include "ui/corvex_window.h"

namespace corvex::ui {

namespace {
constexpr int kFrameWidth = 876;
constexpr int kFrameHeight = 490;
}  // namespace

TCorvexFrame::TCorvexFrame(Corvex& corvex, QtHost& host)
    : corvex_(corvex), window_(new TCorvexWindow(corvex, host, this)) {
  setObjectName("TCorvexFrame");
  setWindowTitle(kFrameCaption);
  setCentralWidget(window_);
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  BuildAccelerators();
  window_->commandsChanged = [this] { UpdateCommands(); };
  window_->viewChanged = [this] { UpdateView(); };
  window_->statusNote = [this](const QString& text) { statusBar()->showMessage(text, 15000); };
  move(0, 0);
  resize(kFrameWidth, kFrameHeight);
  UpdateCommands();
}

QAction* TCorvexFrame::Action(int command) const {
  const auto found = actions_.find(command);
  return found == actions_.end() ? nullptr : found->second;
}

void TCorvexFrame::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("Corvex");
  for (const Menu& menu : MainMenu()) {
    if (menu.barCommand != 0) {
      QAction* item = bar->addAction(menu.title);
      item->setObjectName(QString("id%1").arg(menu.barCommand));
      const int id = menu.barCommand;
      connect(item, &QAction::triggered, this, [this, id] { window_->Command(id); });
      actions_[id] = item;
      continue;
    }
    QMenu* popup = bar->addMenu(menu.title);
    connect(popup, &QMenu::aboutToShow, this, [this] { UpdateCommands(); });
    for (const MenuItem& entry : menu.items) {
      // The text after the tab is the accelerator label the menu shows; the keys themselves
      // are the accelerator table's.
      QAction* item = popup->addAction(QString::fromUtf8(entry.text));
      item->setObjectName(QString("id%1").arg(entry.command));
      item->setStatusTip(QString::fromUtf8(StatusHint(entry.command).data(),
                                           static_cast<qsizetype>(StatusHint(entry.command).size())));
      const int id = entry.command;
      connect(item, &QAction::triggered, this, [this, id] { window_->Command(id); });
      actions_[id] = item;
      if (entry.separatorAfter) popup->addSeparator();
    }
  }
}

void TCorvexFrame::BuildToolBar() {
  if (toolBar_ == nullptr) {
    toolBar_ = addToolBar("Tools");
    toolBar_->setObjectName("ToolBar");
    toolBar_->setMovable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QFont font = toolBar_->font();
    font.setPointSize(10);
    toolBar_->setFont(font);
    toolBar_->setStyleSheet(
        "QToolBar { spacing: 0px; padding: 0px; } QToolButton { padding: 1px 0px; margin: 0px; }");
  }
  const QList<QAction*> old = toolBar_->actions();
  toolBar_->clear();
  qDeleteAll(old);
  const ProgramState& state = corvex_.state;
  toolBarMethod_ = state.settings.telescopeMethod;
  toolBarStretch_ = state.displayStretchActive;
  std::vector<int> commands(ToolBarCommands().begin(), ToolBarCommands().end());
  if (toolBarMethod_ != 'n') commands.push_back(command::kTelescopeControl);
  for (int id : commands) {
    if (id == 0) {
      toolBar_->addSeparator();
      continue;
    }
    if (id == command::kUseDisplayStretch && toolBarStretch_) id = command::kDontUseDisplayStretch;
    const std::string_view label = ToolBarLabel(id);
    QAction* button = toolBar_->addAction(
        QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())));
    button->setObjectName(QString("tool%1").arg(id));
    const std::string_view hint = StatusHint(id);
    button->setStatusTip(QString::fromUtf8(hint.data(), static_cast<qsizetype>(hint.size())));
    button->setToolTip(button->statusTip());
    button->setEnabled(window_->CommandEnabled(id));
    connect(button, &QAction::triggered, this, [this, id] { window_->Command(id); });
  }
}

void TCorvexFrame::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  readout_ = new QLabel(bar);
  readout_->setObjectName("readout");
  readout_->setMinimumWidth(260);
  bar->addPermanentWidget(readout_);
  const auto button = [this, bar](const char* name, const QString& text, int command) {
    auto* b = new QToolButton(bar);
    b->setObjectName(name);
    b->setText(text);
    b->setAutoRaise(true);
    const std::string_view hint = StatusHint(command);
    b->setToolTip(QString::fromUtf8(hint.data(), static_cast<qsizetype>(hint.size())));
    connect(b, &QToolButton::clicked, this, [this, command] { window_->Command(command); });
    bar->addPermanentWidget(b);
    return b;
  };
  stretch_ = button("screenStretch", "Stretch", command::kScreenStretch);
  stretch_->setCheckable(true);
  button("actualSize", "1:1", command::kActualSize);
  button("fit", "Fit", command::kFitToWindow)->setToolTip("Fit the image to the window");
  zoom_ = new QLabel(bar);
  zoom_->setObjectName("zoom");
  zoom_->setMinimumWidth(70);
  bar->addPermanentWidget(zoom_);
  for (const char* indicator : {"CAP", "NUM", "OVR"}) {
    auto* label = new QLabel(indicator, bar);
    label->setObjectName(indicator);
    label->setEnabled(false);
    bar->addPermanentWidget(label);
  }
}

void TCorvexFrame::BuildAccelerators() {
  std::set<std::string> keys;
  for (const Accelerator& entry : Accelerators()) keys.insert(entry.key);
  // The zoom keys: + (also = without Shift) and -.
  for (const auto& [key, id] : {std::pair{"+", command::kZoomIn}, std::pair{"=", command::kZoomIn},
                                std::pair{"-", command::kZoomOut}}) {
    auto* shortcut = new QShortcut(QKeySequence(key), this);
    shortcut->setObjectName(QString("key ") + key);
    connect(shortcut, &QShortcut::activated, this, [this, id] { window_->Command(id); });
  }
  for (const std::string& key : keys) {
    auto* shortcut = new QShortcut(QKeySequence(QString::fromStdString(key)), this);
    shortcut->setObjectName(QString::fromStdString("key " + key));
    connect(shortcut, &QShortcut::activated, this, [this, key] {
      const int id = CommandForKey(key);
      if (id != 0) window_->Command(id);
    });
  }
}

void TCorvexFrame::UpdateCommands() {
  for (auto& [id, action] : actions_) {
    action->setEnabled(window_->CommandEnabled(id));
    const bool checkable = id == command::kFitToWindow || id == command::kPickGuideStar ||
                           id == command::kQzGeometry || id == command::kAutoContrast ||
                           id == command::kScreenStretch;
    action->setCheckable(checkable);
    if (checkable) action->setChecked(window_->CommandChecked(id));
  }
  const ProgramState& state = corvex_.state;
  if (state.settings.telescopeMethod != toolBarMethod_ ||
      state.displayStretchActive != toolBarStretch_) {
    BuildToolBar();
  }
  const QString title = window_->fileTitle();
  setWindowTitle(title == "(Untitled)" ? QString(kFrameCaption) : "Corvex - " + title);
  UpdateView();
}

void TCorvexFrame::UpdateView() {
  if (readout_ == nullptr) return;
  readout_->setText(window_->hoverText());
  zoom_->setText(window_->hasDisplay() ? window_->ZoomText() : QString());
  stretch_->setChecked(window_->screenStretch());
}

}  // namespace corvex::ui
