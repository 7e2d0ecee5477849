#include "ui/IpAddressEdit.h"

#include <QKeyEvent>
#include <QStringList>

namespace {

bool IsPart(const QString& part) {
    if (part.size() > 3) {
        return false;
    }
    for (const QChar c : part) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return part.isEmpty() || part.toInt() <= 255;
}

}  // namespace

QValidator::State CIpAddressValidator::validate(QString& input, int&) const {
    const QStringList parts = input.split(u'.');
    if (parts.size() > 4) {
        return Invalid;
    }
    bool complete = parts.size() == 4;
    for (const QString& part : parts) {
        if (!IsPart(part)) {
            return Invalid;
        }
        complete = complete && !part.isEmpty();
    }
    return complete ? Acceptable : Intermediate;
}

std::array<int, 4> IpAddressParts(const QString& text) {
    QString compact = text;
    compact.remove(u' ');
    std::array<int, 4> result{};
    const QStringList parts = compact.split(u'.');
    if (parts.size() > 4) {
        return result;
    }
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (!IsPart(parts[i])) {
            return {};
        }
        result[static_cast<size_t>(i)] = parts[i].toInt();
    }
    return result;
}

CIpAddressEdit::CIpAddressEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new CIpAddressValidator(this));
    setMaxLength(15);
}

void CIpAddressEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    if (typed.size() == 1 && !hasSelectedText() && cursorPosition() == text().size()) {
        const QStringList parts = text().split(u'.');
        const QString& last = parts.last();
        if (typed == u'.' && last.isEmpty()) {
            return;  // the part moved on by itself already
        }
        // A digit that does not fit the part starts the next one.
        if (typed[0].isDigit() && parts.size() < 4 && !last.isEmpty() &&
            (last.size() == 3 || (last + typed).toInt() > 255)) {
            insert(QStringLiteral("."));
        }
    }
    QLineEdit::keyPressEvent(event);
}
