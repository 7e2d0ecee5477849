#pragma once

#include <QDialog>
#include <string>
#include <vector>

class CUserSettings;
class QComboBox;
class QLineEdit;

// The log-in dialog ("RZ Login"): the registered instruments in file order, the user name and
// the password. It opens on the instrument of the last log-in with the user name remembered for
// it, and returns what was chosen; it never talks to the instrument, and the password is only
// held by its field.
class CLoginDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kUserNameMax = 16;
    static constexpr int kPasswordMax = 6;

    // Lists the instruments of the registry file at `registryPath` (empty: the data directory's).
    CLoginDlg(CUserSettings& store, const std::string& registryPath = {},
              QWidget* parent = nullptr);

    std::string InstrumentName() const;
    std::string UserName() const;
    std::string Password() const;

    QComboBox* Instruments() const { return instruments_; }
    QLineEdit* UserField() const { return user_; }
    QLineEdit* PasswordField() const { return password_; }

  public slots:
    // Refuses a missing instrument or user name with a message and the focus on the field.
    void accept() override;

  private:
    void OnInstrumentChosen(int index);

    CUserSettings& store_;
    QComboBox* instruments_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
};
