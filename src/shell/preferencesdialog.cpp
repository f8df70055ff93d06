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
  auto addBox = [&](PreferencesForm::Box box, const char* label, const char* name,
                    const char* tip) {
    auto* check = new QCheckBox(QString::fromLatin1(label), frame);
    check->setObjectName(QString::fromLatin1(name));
    check->setToolTip(QString::fromLatin1(tip));
    boxes_[box] = check;
    fields->addRow(check);
    connect(check, &QCheckBox::clicked, this,
            [this, box](bool on) { form_.SetBoxChecked(box, on); });
  };
  addText(4, "Port: ");
  addBox(PreferencesForm::ServerTls, "Use HTTPS", "CheckServerTls",
         "Encrypts the public site: browsers reach it at https://, and the files cannot be read\n"
         "or changed on the way. The program makes its own certificate at the next start.");
  addBox(
      PreferencesForm::Headers, "Send HTTP headers", "CheckHeaders",
      "Puts a status line and header lines before every reply: the file's type, length and date.\n"
      "With them, browsers show every page and picture, seek in videos and music, resume cut\n"
      "downloads and keep pictures between visits, and a proxy in front can cache the site.\n"
      "Turn it off only for an old client that wants the bare file, with nothing before it.\n"
      "A port with HTTPS always sends them.");
  addBox(PreferencesForm::Notify, "Show notifications", "CheckNotify",
         "Tell me from the tray when someone logs in to the administration site, an upload "
         "arrives or files are erased");
  allow_ = new QCheckBox(QStringLiteral("Allow Remote Adminitrator Login"), frame);
  allow_->setObjectName(QStringLiteral("Check1"));
  fields->addRow(allow_);
  addText(5, "Admin Name:");
  addText(6, "Admin Password:");
  addText(7, "Confirm Password:");
  addText(8, "Port:");
  addBox(PreferencesForm::AdminTls, "Use HTTPS", "CheckAdminTls",
         "Encrypts the administration site, so that the password and the uploads never cross\n"
         "the network in clear. The program makes its own certificate at the next start.");
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
  for (int box = 0; box < PreferencesForm::kBoxes; ++box) {
    boxes_[box]->setChecked(form_.BoxChecked(PreferencesForm::Box(box)));
  }
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
