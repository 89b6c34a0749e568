#include "dialog/light_source_dialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "diagnostics/message_report.h"
#include "dialog/dialog_messages.h"

namespace lumeray::dialog {

LightSourceDialog::LightSourceDialog(const MasterLightSourceTable& table, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Light Source Table Entries"));
  handle_ = platform::RegisterWindow(
      [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
        LightSourceTableProcedure(handle_, message, wParam, lParam);
      },
      static_cast<QWidget*>(this));
  previousOwner_ = SetMessageOwnerWindow(handle_);

  count_ = new QLabel(this);
  list_ = new QListWidget(this);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  count_->setProperty("controlId", kIdLightSourceCount);
  list_->setProperty("controlId", kIdLightSourceList);
  ok_->setDefault(true);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->installEventFilter(this);

  // The list keeps the space; OK stays centred under it.
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(count_);
  layout->addWidget(list_, 1);
  layout->addWidget(ok_, 0, Qt::AlignHCenter);
  connect(ok_, &QPushButton::clicked, this,
          [this] { LightSourceTableProcedure(handle_, kWmCommand, CommandParam(1, 0), 0); });

  LightSourceTableTrace trace(table);
  if (auto header = trace.Next()) count_->setText(QString::fromStdString(*header).trimmed());
  while (auto line = trace.Next()) list_->addItem(QString::fromStdString(*line));
  resize(520, 360);
  setMinimumSize(size());
}

LightSourceDialog::~LightSourceDialog() {
  Procedure(kWmDestroy, 0, 0);
}

LightSourceDialog* LightSourceDialog::FromHandle(platform::WindowHandle window) {
  auto* widget = static_cast<QWidget*>(platform::NativeWidget(window));
  return widget == nullptr ? nullptr : dynamic_cast<LightSourceDialog*>(widget);
}

intptr_t LightSourceDialog::Procedure(uint32_t message, uintptr_t wParam, intptr_t) {
  switch (message) {
    case kWmCommand:
      if (CommandId(wParam) == 1) done(0);
      return 1;
    case kWmClose:
      done(0);
      return 1;
    case MSG_SHOW_MESSAGE:
      ShowAndFreeMessageBlock(reinterpret_cast<MessageBlock*>(wParam), handle_);
      return 1;
    case kWmDestroy:
      if (handle_ != 0) {
        if (previousOwner_ != 0) SetMessageOwnerWindow(previousOwner_);
        platform::UnregisterWindow(handle_);
        handle_ = 0;
      }
      return 1;
    default:
      return 0;
  }
}

QString LightSourceDialog::CopySelection() {
  QList<int> rows;
  for (const QListWidgetItem* item : list_->selectedItems()) rows.push_back(list_->row(item));
  if (rows.isEmpty()) return {};
  std::sort(rows.begin(), rows.end());
  QString text;
  for (int row : rows) {
    const QString line = list_->item(row)->text();
    if (line.size() >= kMaximumListLine) {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError, "ListBox Item %d is too long.", row);
      break;
    }
    text += line + QStringLiteral("\r\n");
  }
  QGuiApplication::clipboard()->setText(text);
  return text;
}

bool LightSourceDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched != list_ || event->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->modifiers() != Qt::ControlModifier) return false;
  if (key->key() == Qt::Key_A) {
    list_->selectAll();
    return true;
  }
  if (key->key() == Qt::Key_C) {
    CopySelection();
    return true;
  }
  return false;
}

void ShowLightSourceTable(QWidget* parent, const MasterLightSourceTable& table) {
  LightSourceDialog dialog(table, parent);
  dialog.exec();
}

intptr_t LightSourceTableProcedure(platform::WindowHandle window, uint32_t message,
                                   uintptr_t wParam, intptr_t lParam) {
  LightSourceDialog* dialog = LightSourceDialog::FromHandle(window);
  return dialog == nullptr ? 0 : dialog->Procedure(message, wParam, lParam);
}

}  // namespace lumeray::dialog
