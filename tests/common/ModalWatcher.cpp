#include "common/ModalWatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>

CModalWatcher::CModalWatcher(QMessageBox::StandardButton answerWith) : answer(answerWith) {
    // Modal windows run their own event loop, in which this timer keeps firing.
    QObject::connect(&timer_, &QTimer::timeout, &context_, [this] { Poll(); });
    timer_.start(5);
}

void CModalWatcher::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes.push_back({box->windowTitle(), box->text(), box->icon()});
        QAbstractButton* button = box->button(answer);
        if (button != nullptr) {
            button->click();
        } else {
            box->reject();
        }
        return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal); dialog != nullptr && onDialog) {
        onDialog(dialog);
    } else if (dialog != nullptr) {
        dialog->reject();
    }
}
