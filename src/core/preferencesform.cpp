#include "core/preferencesform.h"

#include <unistd.h>

#include "core/ini.h"
#include "core/settings.h"
#include "util/files.h"
#include "util/text.h"
#include "util/version.h"

namespace orvane {

PreferencesForm::PreferencesForm(Desktop& desktop, QByteArray configFile)
    : desktop_(desktop), file_(std::move(configFile)) {}

QByteArray PreferencesForm::Read(const char* section, const char* key) const {
  return ReadINI(section, key, file_);
}

bool PreferencesForm::Write(const char* section, const char* key, const QByteArray& value) {
  // A file made read-only is left as it is, though its folder would let it be replaced.
  const bool readOnly = PathExists(file_) && ::access(file_.constData(), W_OK) != 0;
  if (!readOnly && WriteINI(section, key, value, file_)) return true;
  // The edits stay in the dialog, still unsaved, and the owner learns where and why.
  desktop_.MessageBox("The settings could not be saved to " + file_ + ".\r\n\r\n" +
                          WriteProblem(file_) + "\r\n\r\nYour changes are still in the dialog.",
                      kOkCritical, "Not Saved");
  return false;
}

void PreferencesForm::Changed() {
  if (onChanged) onChanged();
}

void PreferencesForm::SetText(Field field, const QByteArray& text) {
  QByteArray value = text;
  switch (field) {
    case ServerName:
      if (IsBlank(value)) value = SoftwareName();
      break;
    case IndexPage:
      if (IsBlank(value)) value = "index.html";
      break;
    case MaxUsers: {
      const int number = LeadingNumber(value);
      value = number == 0 ? QByteArray("100") : QByteArray::number(number);
      break;
    }
    case ServerPort:
      value = QByteArray::number(LeadingNumber(value));
      break;
    case AdminPort:
      if (IsBlank(value)) value = "5656";
      break;
    case AdminName:
    case AdminPassword:
    case ConfirmPassword:
      break;
  }
  texts_[field] = value;
  saveEnabled_ = true;
  Changed();
}

void PreferencesForm::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  adminFieldsEnabled_ = checked;
  saveEnabled_ = true;
  Changed();
}

namespace {

struct BoxKey {
  const char* section;
  const char* key;
  bool onUnlessZero;  // checked unless the key says 0 (else only when it says 1)
};
constexpr BoxKey kBoxKeys[] = {
    {"Server", "HttpHeaders", false},
    {"Window", "Notify", true},
    {"Server", "Tls", false},
    {"Admin", "Tls", false},
};

}  // namespace

void PreferencesForm::SetBoxChecked(Box box, bool checked) {
  if (checked == boxes_[box]) return;
  boxes_[box] = checked;
  saveEnabled_ = true;
  Changed();
}

void PreferencesForm::Load() {
  // A key missing from the file shows the value the server runs with, so that a save without a
  // change writes what is in force rather than the boxes' own fallbacks.
  const Settings inForce = LoadSettings(file_.left(file_.lastIndexOf('/') + 1));
  const auto stored = [this](const char* section, const char* key, const QByteArray& running) {
    const QByteArray value = Read(section, key);
    return value.isEmpty() ? running : value;
  };
  SetText(ServerName, stored("Server", "ServerName", inForce.ServerName));
  SetText(IndexPage, stored("Server", "IndexFile", inForce.IndexFile));
  SetText(MaxUsers, stored("Server", "MaxConnect", QByteArray::number(inForce.MaxConnect)));
  SetText(ServerPort, stored("Server", "Port", QByteArray::number(inForce.Port)));
  for (int box = 0; box < kBoxes; ++box) {
    const QByteArray value = Read(kBoxKeys[box].section, kBoxKeys[box].key);
    SetBoxChecked(Box(box), kBoxKeys[box].onUnlessZero ? value != "0" : value == "1");
  }
  // Only a stored whole number can be taken for the box; 1 checks it.
  const QByteArray allow = Read("Admin", "Allow").trimmed();
  bool number = false;
  const int value = allow.toInt(&number);
  if (number) SetChecked(value == 1);
  SetText(AdminName, Read("Admin", "UserName"));
  SetText(AdminPassword, Read("Admin", "Password"));
  SetText(ConfirmPassword, Text(AdminPassword));
  SetText(AdminPort, stored("Admin", "Port", QByteArray::number(inForce.AdminPort)));
  saveEnabled_ = false;
  Changed();
}

void PreferencesForm::Save() {
  desktop_.MessageBox(
      "Remember! These setting's will not take place until you restart the Orvane application!",
      kOkInformation, "Tip!");
  // The message waited for its answer: everything below reads the fields as they are now.
  if (!Write("Server", "ServerName", Text(ServerName)) ||
      !Write("Server", "IndexFile", Text(IndexPage)) ||
      !Write("Server", "MaxConnect", Text(MaxUsers)) ||
      !Write("Server", "Port", Text(ServerPort))) {
    return;
  }
  for (int box = 0; box < kBoxes; ++box) {
    const BoxKey& key = kBoxKeys[box];
    const bool tls = box == ServerTls || box == AdminTls;
    if (tls && !boxes_[box] && Read(key.section, key.key).isEmpty()) continue;
    if (!Write(key.section, key.key, boxes_[box] ? "1" : "0")) return;
  }
  if (checked_) {
    if (Text(AdminPassword) != Text(ConfirmPassword)) {
      desktop_.MessageBox(
          "Administrator passwords do not match\rPasswords are Case-Sensitive...Please check "
          "your entries, and try again",
          kOkOnly);
      SetText(AdminPassword, {});
      SetText(ConfirmPassword, {});
      return;
    }
    if (Text(AdminPassword).size() < 4) {
      desktop_.MessageBox(
          "Your password must be at least 4 characters in length\rPlease enter in a new "
          "password, and save again",
          kOkOnly);
      SetText(AdminPassword, {});
      SetText(ConfirmPassword, {});
      return;
    }
  }
  if (Text(AdminPort) == Text(ServerPort)) {
    desktop_.MessageBox(
        "You cannot use the same Admin-Login port as the server port.\rPlease choose another "
        "port, and save again",
        kOkOnly);
    SetText(AdminPort, QByteArray::number(LeadingNumber(Text(ServerPort)) + 1LL));
    return;
  }
  if (!Write("Admin", "Allow", checked_ ? "1" : "0") ||
      !Write("Admin", "UserName", Text(AdminName)) ||
      !Write("Admin", "Password", Text(AdminPassword)) ||
      !Write("Admin", "Port", TrimSpaces(Text(AdminPort)))) {
    return;
  }
  saveEnabled_ = false;
  Changed();
}

bool PreferencesForm::Close() {
  if (!saveEnabled_) return true;
  return desktop_.MessageBox(
             "You have setting's that are unsaved, if you continue you will loose these "
             "settings.\r\n\r\nContinue w/o saving?",
             kYesNo, "Unsaved Data") == kAnswerYes;
}

}  // namespace orvane
