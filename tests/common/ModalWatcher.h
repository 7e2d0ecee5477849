#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

class QDialog;

// Answers the modal windows a widget test provokes. While the watcher lives, every message box
// that opens is recorded (caption, text, icon) and answered with the chosen button; any other
// modal dialog is handed to `onDialog`, which must close it.
class CModalWatcher {
  public:
    struct Box {
        QString caption;
        QString text;
        QMessageBox::Icon icon;
        Qt::TextFormat format;
    };

    explicit CModalWatcher(QMessageBox::StandardButton answer = QMessageBox::Ok);

    std::vector<Box> boxes;
    QMessageBox::StandardButton answer;
    std::function<void(QDialog*)> onDialog;

  private:
    void Poll();

    QObject context_;
    QTimer timer_;
};
