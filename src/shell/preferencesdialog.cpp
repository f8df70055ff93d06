#include "shell/preferencesdialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/appstate.h"
#include "core/settings.h"
#include "shell/appicon.h"

namespace orvane {

PreferencesDialog::PreferencesDialog(AppState& app, QWidget* mainWindow)
    : QDialog(mainWindow),
      form_(app.desktop, ConfigFile(app.settings.AppPath)),
      mainWindow_(mainWindow) {
  setObjectName(QStringLiteral("frmOptions"));
  setWindowTitle(QStringLiteral("Preferences"));
  setWindowIcon(AppIcon());
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);

  auto* frame = new QGroupBox(this);
  frame->setObjectName(QStringLiteral("Frame1"));
  auto* fields = new QFormLayout(frame);
  auto addText = [&](int number, const char* label) {
    auto* edit = new QLineEdit(frame);
    edit->setObjectName(QStringLiteral("Text%1").arg(number));
    texts_[static_cast<size_t>(number)] = edit;
    fields->addRow(QString::fromLatin1(label), edit);
    connect(edit, &QLineEdit::textEdited, this, [this, number](const QString& text) {
      form_.SetText(static_cast<PreferencesForm::Field>(number), text.toLatin1());
    });
  };
  addText(1, "Server Name:");
  addText(2, "Index Page:");
  addText(3, "Max. Users:");
  addText(4, "Port: ");
  headers_ = new QCheckBox(QStringLiteral("Send HTTP headers"), frame);
  headers_->setObjectName(QStringLiteral("CheckHeaders"));
  headers_->setToolTip(QStringLiteral(
      "Puts a status line and header lines before every reply: the file's type, length and date.\n"
      "With them, browsers show every page and picture, seek in videos and music, resume cut\n"
      "downloads and keep pictures between visits, and a proxy in front can cache the site.\n"
      "Turn it off only for an old client that wants the bare file, with nothing before it."));
  fields->addRow(headers_);
  notify_ = new QCheckBox(QStringLiteral("Show notifications"), frame);
  notify_->setObjectName(QStringLiteral("CheckNotify"));
  notify_->setToolTip(
      QStringLiteral("Tell me from the tray when someone logs in to the "
                     "administration site, an upload arrives or files are erased"));
  fields->addRow(notify_);
  allow_ = new QCheckBox(QStringLiteral("Allow Remote Adminitrator Login"), frame);
  allow_->setObjectName(QStringLiteral("Check1"));
  fields->addRow(allow_);
  addText(5, "Admin Name:");
  addText(6, "Admin Password:");
  addText(7, "Confirm Password:");
  addText(8, "Port:");
  texts_[3]->setMaxLength(3);
  texts_[6]->setEchoMode(QLineEdit::Password);
  texts_[7]->setEchoMode(QLineEdit::Password);

  save_ = new QPushButton(QStringLiteral("Save"), this);
  save_->setObjectName(QStringLiteral("Command1"));
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("Command2"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(save_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addLayout(buttons);

  connect(allow_, &QCheckBox::clicked, this, [this](bool on) { form_.SetChecked(on); });
  connect(headers_, &QCheckBox::clicked, this, [this](bool on) { form_.SetHeadersChecked(on); });
  connect(notify_, &QCheckBox::clicked, this, [this](bool on) { form_.SetNotifyChecked(on); });
  connect(save_, &QPushButton::clicked, this, [this] { form_.Save(); });
  connect(close, &QPushButton::clicked, this, [this] {
    if (form_.Close()) QDialog::close();
  });
  form_.onChanged = [this] { Show(); };
  form_.Load();
}

void PreferencesDialog::Show() {
  for (int number = 1; number <= 8; ++number) {
    QLineEdit* edit = texts_[static_cast<size_t>(number)];
    const QString text =
        QString::fromLatin1(form_.Text(static_cast<PreferencesForm::Field>(number)));
    if (edit->text() != text) edit->setText(text);  // a rule replaced what was typed
  }
  allow_->setChecked(form_.Checked());
  headers_->setChecked(form_.HeadersChecked());
  notify_->setChecked(form_.NotifyChecked());
  for (int number : {5, 6, 7}) {
    texts_[static_cast<size_t>(number)]->setEnabled(form_.AdminFieldsEnabled());
  }
  save_->setEnabled(form_.SaveEnabled());
}

void PreferencesDialog::closeEvent(QCloseEvent* event) {
  event->accept();
  if (mainWindow_ != nullptr) {
    mainWindow_->raise();
    mainWindow_->activateWindow();
  }
}

}  // namespace orvane
