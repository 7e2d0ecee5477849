#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

// The Config dialog: the communication cycle of SimpleCtrl.ini, in milliseconds. It opens with
// the file's value brought into range; OK accepts 1000 to 60000 and writes it, and a value out
// of range or a failed write is reported with the dialog kept open. The frame offers it only
// while logged out; the cycle applies from the next log-in.
class CConfigDlg : public QDialog {
    Q_OBJECT
  public:
    // Edits the INI file at `iniPath` (empty: SimpleCtrl.ini in the data directory).
    explicit CConfigDlg(const std::string& iniPath = {}, QWidget* parent = nullptr);

    QLineEdit* CycleField() const { return cycle_; }

  public slots:
    void accept() override;

  private:
    std::string iniPath_;
    QLineEdit* cycle_ = nullptr;
};
