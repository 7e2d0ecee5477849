#include "shell/LoginDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

#include "platform/Configuration.h"
#include "platform/StatusSink.h"
#include "platform/Strings.h"
#include "registry/InstrumentRegistry.h"
#include "registry/InstrumentSettings.h"
#include "secrets/PasswordKeeper.h"
#include "ui/PlainText.h"
#include "ui/Widgets.h"

namespace {

std::string Latin1(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString FromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QLineEdit* Field(QWidget* parent, int maxLength) {
    auto* field = new QLineEdit(parent);
    field->setMaxLength(maxLength);
    field->setValidator(new CLatin1Validator(field));
    return field;
}

// Latin-1 text of at most `maxLength` characters; longer input is refused whole, not cut, and
// `tooLong` hears of it.
class CLimitedValidator : public CLatin1Validator {
  public:
    CLimitedValidator(int maxLength, std::function<void()> tooLong, QObject* parent)
        : CLatin1Validator(parent), maxLength_(maxLength), tooLong_(std::move(tooLong)) {}

    State validate(QString& input, int& pos) const override {
        if (input.size() > maxLength_) {
            tooLong_();
            return Invalid;
        }
        return CLatin1Validator::validate(input, pos);
    }

  private:
    int maxLength_;
    std::function<void()> tooLong_;
};

// The item data of an instrument's address (blanks removed), beside its name.
constexpr int kAddressRole = Qt::UserRole + 1;

}  // namespace

CLoginDlg::CLoginDlg(CUserSettings& store, CPasswordKeeper* passwords,
                     const std::string& registryPath, QWidget* parent)
    : QDialog(parent), store_(store), passwords_(passwords), registryPath_(registryPath) {
    setWindowTitle(tr("RZ Login"));
    instruments_ = new QComboBox(this);
    user_ = Field(this, kUserNameMax);
    password_ = new QLineEdit(this);
    password_->setValidator(new CLimitedValidator(
        kPasswordMax, [this] { ShowPasswordHint(true); }, password_));
    password_->setEchoMode(QLineEdit::Password);
    passwordHint_ = new QLabel(this);
    passwordHint_->setTextFormat(Qt::PlainText);
    ShowPasswordHint(false);
    connect(password_, &QLineEdit::textEdited, this, [this] {
        ShowPasswordHint(false);
        recalled_ = false;
    });
    // The password filled in belongs to the user shown.
    connect(user_, &QLineEdit::textEdited, this, &CLoginDlg::ClearRecalledPassword);
    remember_ = new QCheckBox(tr("Re&member password"), this);
    NameAfter(remember_, remember_->text());

    auto* form = new QFormLayout;
    const std::pair<QWidget*, const char*> rows[] = {{instruments_, QT_TR_NOOP("&RZ Name:")},
                                                     {user_, QT_TR_NOOP("&User Name:")},
                                                     {password_, QT_TR_NOOP("&Password:")}};
    for (const auto& [field, caption] : rows) {
        auto* label = new QLabel(tr(caption), this);
        label->setBuddy(field);
        NameAfter(field, label->text());
        form->addRow(label, field);
    }
    form->addRow(QString(), passwordHint_);
    form->addRow(QString(), remember_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* button : buttons->buttons()) {
        NameAfter(button, button->text());
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &CLoginDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CLoginDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    instruments_->setMinimumWidth(180);
    setTabOrder(instruments_, user_);
    setTabOrder(user_, password_);
    setTabOrder(password_, remember_);
    setTabOrder(remember_, buttons->button(QDialogButtonBox::Ok));
    setTabOrder(buttons->button(QDialogButtonBox::Ok), buttons->button(QDialogButtonBox::Cancel));

    CInstrumentRegistry registry;
    if (const RzExpected<void> loaded =
            registry.Load(registryPath.empty() ? nullptr : registryPath.c_str());
        !loaded) {
        ShowStatusMessages(loaded.error());
    }
    for (int i = 0; i < registry.GetCount(); ++i) {
        // A name read from the file is shown as one plain line; the item keeps it as it is.
        const QString name = QString::fromLatin1(registry.GetRecord(i).name);
        instruments_->addItem(PlainLine(name), name);
        instruments_->setItemData(i, PlainToolTip(name), Qt::ToolTipRole);
        instruments_->setItemData(
            i, FromLatin1(registry.FindAddress(registry.GetRecord(i).name).value_or("")),
            kAddressRole);
    }
    if (!SelectInstrument(store_.LastLogin())) {
        instruments_->setCurrentIndex(0);
    }
    FillFromSettings();
    connect(instruments_, &QComboBox::currentIndexChanged, this, &CLoginDlg::OnInstrumentChosen);
}

std::string CLoginDlg::InstrumentName() const {
    return instruments_->currentIndex() < 0 ? std::string()
                                            : Latin1(instruments_->currentData().toString());
}

bool CLoginDlg::SelectInstrument(const std::string& name) {
    const int index = instruments_->findData(FromLatin1(name), Qt::UserRole, Qt::MatchExactly);
    if (index >= 0) {
        instruments_->setCurrentIndex(index);
    }
    return index >= 0;
}

void CLoginDlg::ShowPasswordHint(bool refused) {
    const QString hint = (refused ? tr("Not taken: the password has at most %1 characters")
                                  : tr("At most %1 characters"))
                             .arg(kPasswordMax);
    passwordHint_->setText(hint);
    // A refusal stands out: bold and dark red.
    QFont font = passwordHint_->font();
    font.setBold(refused);
    passwordHint_->setFont(font);
    QPalette palette;  // nothing set: the dialog's own colours
    if (refused) {
        palette.setColor(QPalette::WindowText, QColor(170, 0, 0));
    }
    passwordHint_->setPalette(palette);
    password_->setAccessibleDescription(hint);
}

std::string CLoginDlg::UserName() const {
    return Latin1(user_->text());
}

std::string CLoginDlg::Password() const {
    return Latin1(password_->text());
}

bool CLoginDlg::RememberPassword() const {
    return remember_->isChecked();
}

void CLoginDlg::OnInstrumentChosen(int) {
    ClearRecalledPassword();
    FillFromSettings();
    user_->setFocus();
    user_->selectAll();
}

void CLoginDlg::FillFromSettings() {
    const CInstrumentPrefs prefs =
        CInstrumentSettings(registryPath_, &store_).For(InstrumentName());
    user_->setText(FromLatin1(prefs.userName));
    remember_->setChecked(prefs.rememberPassword);
    RecallPassword();
}

void CLoginDlg::ClearRecalledPassword() {
    ++recallSerial_;
    if (recalled_) {
        password_->clear();
        recalled_ = false;
    }
}

void CLoginDlg::RecallPassword() {
    if (passwords_ == nullptr || !remember_->isChecked() || instruments_->currentIndex() < 0 ||
        user_->text().isEmpty()) {
        return;
    }
    const CPasswordKey key{InstrumentName(),
                           Latin1(instruments_->currentData(kAddressRole).toString()), UserName()};
    const unsigned serial = ++recallSerial_;
    passwords_->Recall(key, this, [this, key, serial](std::optional<std::string> password) {
        // Not over what the operator typed, nor for an instrument or user no longer shown.
        if (serial != recallSerial_ || !password || !password_->text().isEmpty() ||
            key.instrument != InstrumentName() || key.user != UserName() ||
            password->size() > size_t(kPasswordMax)) {
            return;
        }
        password_->setText(FromLatin1(*password));
        recalled_ = true;
    });
}

void CLoginDlg::accept() {
    if (instruments_->currentIndex() < 0) {
        ShowErrorBox(this, RzText(RzStr::kNoInstrumentChosen), tr("System Error!"));
        instruments_->setFocus();
        return;
    }
    if (user_->text().isEmpty()) {
        ShowErrorBox(this, RzText(RzStr::kNoUserName), tr("System Error!"));
        user_->setFocus();
        return;
    }
    QDialog::accept();
}
