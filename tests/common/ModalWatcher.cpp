#include "common/ModalWatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPointer>

CModalWatcher::CModalWatcher(QMessageBox::StandardButton answerWith) : answer(answerWith) {
    // Modal windows run their own event loop, in which this timer keeps firing.
    QObject::connect(&timer_, &QTimer::timeout, &context_, [this] { Poll(); });
    timer_.start(5);
}

void CModalWatcher::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal->property("rzWatched").toBool()) {
        return;
    }
    modal->setProperty("rzWatched", true);
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->textFormat()});
        QAbstractButton* button = box->button(answer);
        if (button != nullptr) {
            button->click();
        } else {
            box->reject();
        }
        return;
    }
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (dialog == nullptr) {
        return;
    }
    // Handled from a queued call rather than inside this timer's slot: a dialog the handler
    // opens runs a nested event loop, in which queued calls are delivered but this timer, its
    // slot still running, would not fire again.
    QPointer<QDialog> guarded(dialog);
    QMetaObject::invokeMethod(
        &context_,
        [this, guarded] {
            if (!guarded) {
                return;
            }
            if (onDialog) {
                onDialog(guarded);
            } else {
                guarded->reject();
            }
        },
        Qt::QueuedConnection);
}
