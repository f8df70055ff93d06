#pragma once

#include <QByteArray>
#include <array>
#include <functional>

#include "core/desktop.h"

namespace orvane {

// The preferences dialog without its widgets: the fields of "server.cfg", the rule each field
// keeps while it is edited, the unsaved-changes flag, and Save and Close with their checks and
// questions. The dialog only shows this form and passes the user's edits in. It edits the file
// alone and never the running settings.
class PreferencesForm {
 public:
  // The text fields, numbered as the dialog's boxes.
  enum Field {
    ServerName = 1,       // Text1
    IndexPage = 2,        // Text2
    MaxUsers = 3,         // Text3
    ServerPort = 4,       // Text4
    AdminName = 5,        // Text5
    AdminPassword = 6,    // Text6
    ConfirmPassword = 7,  // Text7
    AdminPort = 8,        // Text8
  };

  // `desktop` shows the messages; `configFile` is the "server.cfg" to edit.
  PreferencesForm(Desktop& desktop, QByteArray configFile);

  // Fills every field from the file; afterwards nothing counts as changed.
  void Load();

  QByteArray Text(Field field) const { return texts_[field]; }
  // A change of a field's text, typed or filled in: its rule runs and the form counts as changed.
  void SetText(Field field, const QByteArray& text);
  bool Checked() const { return checked_; }
  // A change of the remote administration box (no change when it already has that value).
  void SetChecked(bool checked);
  // The boxes that are one key each: "Send HTTP headers" ([Server] HttpHeaders), "Show
  // notifications" ([Window] Notify), and "Use HTTPS" under each port ([Server] Tls, [Admin]
  // Tls). A Tls key is written once its box has been checked, so that a file that never had
  // HTTPS keeps no word of it.
  enum Box { Headers, Notify, ServerTls, AdminTls, kBoxes };
  bool BoxChecked(Box box) const { return boxes_[box]; }
  void SetBoxChecked(Box box, bool checked);
  // The administrator fields take input only while the box is checked (and before it was first
  // unchecked).
  bool AdminFieldsEnabled() const { return adminFieldsEnabled_; }
  // The Save button is enabled exactly while there are unsaved changes.
  bool SaveEnabled() const { return saveEnabled_; }

  // Save: the Server keys are written at once; the administrator keys only when the checks pass
  // (otherwise a message says why and the fields are adjusted).
  void Save();
  // Close: true when the dialog may close (no unsaved changes, or the user agreed to drop them).
  bool Close();

  // Called after every change the form makes itself, so that a dialog can show it.
  std::function<void()> onChanged;

 private:
  void Changed();
  QByteArray Read(const char* section, const char* key) const;
  // False, after a message naming the file and the reason, when the file cannot be written.
  bool Write(const char* section, const char* key, const QByteArray& value);

  Desktop& desktop_;
  QByteArray file_;
  std::array<QByteArray, 9> texts_;  // 1 to 8
  bool checked_ = false;
  std::array<bool, kBoxes> boxes_{false, true, false, false};
  bool adminFieldsEnabled_ = true;
  bool saveEnabled_ = false;
};

}  // namespace orvane
