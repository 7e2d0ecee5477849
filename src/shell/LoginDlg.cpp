#include "shell/LoginDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Configuration.h"
#include "platform/Strings.h"
#include "registry/InstrumentRegistry.h"
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

}  // namespace

CLoginDlg::CLoginDlg(CUserSettings& store, const std::string& registryPath, QWidget* parent)
    : QDialog(parent), store_(store) {
    setWindowTitle(QStringLiteral("RZ Login"));
    instruments_ = new QComboBox(this);
    user_ = Field(this, kUserNameMax);
    password_ = Field(this, kPasswordMax);
    password_->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    const std::pair<QWidget*, const char*> rows[] = {
        {instruments_, "&RZ Name:"}, {user_, "&User Name:"}, {password_, "&Password:"}};
    for (const auto& [field, caption] : rows) {
        auto* label = new QLabel(QString::fromLatin1(caption), this);
        label->setBuddy(field);
        NameAfter(field, label->text());
        form->addRow(label, field);
    }
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
    setTabOrder(password_, buttons->button(QDialogButtonBox::Ok));
    setTabOrder(buttons->button(QDialogButtonBox::Ok), buttons->button(QDialogButtonBox::Cancel));

    CInstrumentRegistry registry;
    registry.Load(registryPath.empty() ? nullptr : registryPath.c_str());
    for (int i = 0; i < registry.GetCount(); ++i) {
        instruments_->addItem(QString::fromLatin1(registry.GetRecord(i).name));
    }
    const int last = instruments_->findText(FromLatin1(store_.LastLogin()), Qt::MatchExactly);
    instruments_->setCurrentIndex(last >= 0 ? last : 0);
    user_->setText(FromLatin1(store_.UserNameFor(InstrumentName())));
    connect(instruments_, &QComboBox::currentIndexChanged, this, &CLoginDlg::OnInstrumentChosen);
}

std::string CLoginDlg::InstrumentName() const {
    return instruments_->currentIndex() < 0 ? std::string() : Latin1(instruments_->currentText());
}

std::string CLoginDlg::UserName() const {
    return Latin1(user_->text());
}

std::string CLoginDlg::Password() const {
    return Latin1(password_->text());
}

void CLoginDlg::OnInstrumentChosen(int) {
    user_->setText(FromLatin1(store_.UserNameFor(InstrumentName())));
    user_->setFocus();
    user_->selectAll();
}

void CLoginDlg::accept() {
    if (instruments_->currentIndex() < 0) {
        ShowErrorBox(this, RzText(20019), QStringLiteral("System Error!"));
        instruments_->setFocus();
        return;
    }
    if (user_->text().isEmpty()) {
        ShowErrorBox(this, RzText(20020), QStringLiteral("System Error!"));
        user_->setFocus();
        return;
    }
    QDialog::accept();
}
