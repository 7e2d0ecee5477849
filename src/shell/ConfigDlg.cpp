#include "shell/ConfigDlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "platform/Configuration.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "ui/Widgets.h"

CConfigDlg::CConfigDlg(const std::string& iniPath, QWidget* parent)
    : QDialog(parent), iniPath_(iniPath.empty() ? DataFilePath(kConfigFileName) : iniPath) {
    setWindowTitle(tr("Config"));
    auto* frame = new QGroupBox(this);
    auto* label = new QLabel(tr("Communication &cycle:"), frame);
    cycle_ = new QLineEdit(frame);
    cycle_->setAlignment(Qt::AlignRight);
    cycle_->setMaxLength(10);
    // A numeric field: digits only.
    cycle_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), cycle_));
    label->setBuddy(cycle_);
    NameAfter(cycle_, label->text());
    auto* row = new QHBoxLayout(frame);
    row->addWidget(label);
    row->addWidget(cycle_, 1);
    row->addWidget(new QLabel(tr("ms"), frame));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* button : buttons->buttons()) {
        NameAfter(button, button->text());
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &CConfigDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CConfigDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(buttons);

    cycle_->setText(QString::number(ConfigDialogInitialCycle(ReadCommCycle(iniPath_))));
}

void CConfigDlg::accept() {
    const std::optional<int> value = ConfigDialogAccept(cycle_->text());
    if (!value) {
        ShowErrorBox(this, tr(kCommCycleRangeWarning), tr("Warning"));
        cycle_->setFocus();
        return;
    }
    if (!WriteCommCycle(iniPath_, *value)) {
        ShowErrorBox(this, QStringLiteral("%1\n%2").arg(RzText(RzStr::kFileNotSaved),
                                                        QString::fromStdString(iniPath_)));
        return;
    }
    QDialog::accept();
}
