#pragma once

#include <QDialog>
#include <string>
#include <vector>

class CUserSettings;
class QComboBox;
class QLabel;
class QLineEdit;

// The log-in dialog ("RZ Login"): the registered instruments in file order (each name shown as
// one plain line), the user name and the password. It opens on the instrument of the last
// log-in with the user name remembered for it, and returns what was chosen; it never talks to
// the instrument, and the password is only held by its field. The password's limit is shown
// beside it; input that would pass it is refused whole and the hint says so, nothing is cut.
class CLoginDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kUserNameMax = 16;
    static constexpr int kPasswordMax = 6;

    // Lists the instruments of the registry file at `registryPath` (empty: the data directory's).
    CLoginDlg(CUserSettings& store, const std::string& registryPath = {},
              QWidget* parent = nullptr);

    // The name as registered, whatever the list shows of it.
    std::string InstrumentName() const;
    // Chooses the registered instrument `name`; false when it is not listed.
    bool SelectInstrument(const std::string& name);
    std::string UserName() const;
    std::string Password() const;

    QComboBox* Instruments() const { return instruments_; }
    QLineEdit* UserField() const { return user_; }
    QLineEdit* PasswordField() const { return password_; }
    QLabel* PasswordHint() const { return passwordHint_; }

  public slots:
    // Refuses a missing instrument or user name with a message and the focus on the field.
    void accept() override;

  private:
    void OnInstrumentChosen(int index);
    void ShowPasswordHint(bool refused);

    CUserSettings& store_;
    QComboBox* instruments_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLabel* passwordHint_ = nullptr;
};
