#pragma once

#include <QDialog>
#include <string>
#include <vector>

class CPasswordKeeper;
class CUserSettings;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// The log-in dialog ("RZ Login"): the registered instruments in file order (each name shown as
// one plain line), the user name, the password and "Remember password". It opens on the
// instrument of the last log-in with the user name and the choice remembered for it (the
// instrument's settings beside the registry), and returns what was chosen; it never talks to
// the instrument. When the password is remembered for the instrument and user shown, the field
// is filled once the password keeper answers, unless the operator has typed one by then; a
// filled-in password is cleared when the instrument or user name changes, so it never goes to
// another one. The password's limit is shown beside it; input that would pass it is refused
// whole and the hint says so, nothing is cut.
class CLoginDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kUserNameMax = 16;
    static constexpr int kPasswordMax = 6;

    // Lists the instruments of the registry file at `registryPath` (empty: the data directory's).
    // `passwords` (may be null) fills in remembered passwords.
    CLoginDlg(CUserSettings& store, CPasswordKeeper* passwords,
              const std::string& registryPath = {}, QWidget* parent = nullptr);
    explicit CLoginDlg(CUserSettings& store, const std::string& registryPath = {},
                       QWidget* parent = nullptr)
        : CLoginDlg(store, nullptr, registryPath, parent) {}

    // The name as registered, whatever the list shows of it.
    std::string InstrumentName() const;
    // Chooses the registered instrument `name`; false when it is not listed.
    bool SelectInstrument(const std::string& name);
    std::string UserName() const;
    std::string Password() const;
    bool RememberPassword() const;
    // The password field holds the remembered password as it was filled in.
    bool PasswordRecalled() const { return recalled_; }

    QComboBox* Instruments() const { return instruments_; }
    QLineEdit* UserField() const { return user_; }
    QLineEdit* PasswordField() const { return password_; }
    QLabel* PasswordHint() const { return passwordHint_; }
    QCheckBox* RememberBox() const { return remember_; }

  public slots:
    // Refuses a missing instrument or user name with a message and the focus on the field.
    void accept() override;

  private:
    void OnInstrumentChosen(int index);
    void ShowPasswordHint(bool refused);
    // The user name and the choice remembered for the instrument shown, and its password.
    void FillFromSettings();
    // Asks the keeper for the password of the instrument and user shown, when it is remembered.
    void RecallPassword();
    void ClearRecalledPassword();

    CUserSettings& store_;
    CPasswordKeeper* passwords_;
    std::string registryPath_;
    bool recalled_ = false;
    unsigned recallSerial_ = 0;  // answers to an earlier recall are dropped
    QComboBox* instruments_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLabel* passwordHint_ = nullptr;
    QCheckBox* remember_ = nullptr;
};
