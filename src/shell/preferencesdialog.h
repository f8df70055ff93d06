#pragma once

#include <QDialog>
#include <array>

#include "core/preferencesform.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace orvane {

struct AppState;

// The preferences dialog (frmOptions): shows the preferences form and passes the user's edits
// to it. Modeless; it deletes itself when closed, and brings the main window to the front.
class PreferencesDialog : public QDialog {
  Q_OBJECT

 public:
  PreferencesDialog(AppState& app, QWidget* mainWindow);

  PreferencesForm& Form() { return form_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Show();

  PreferencesForm form_;
  QWidget* mainWindow_;
  std::array<QLineEdit*, 9> texts_{};  // 1 to 8
  QCheckBox* allow_ = nullptr;
  std::array<QCheckBox*, PreferencesForm::kBoxes> boxes_{};
  QPushButton* save_ = nullptr;
};

}  // namespace orvane
