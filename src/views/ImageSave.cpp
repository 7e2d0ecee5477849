#include "views/ImageSave.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>

#include "ui/PlainText.h"

const char* const kImageSaveFilters[2] = {"PNG Format (*.png)", "BMP Format (*.bmp)"};

namespace {

QString SuffixOf(const QString& nameFilter) {
    return nameFilter == QLatin1String(kImageSaveFilters[1]) ? QStringLiteral("bmp")
                                                             : QStringLiteral("png");
}

}  // namespace

QString SavePathWithSuffix(const QString& path, const QString& nameFilter) {
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) {
        return path;
    }
    return path + u'.' + SuffixOf(nameFilter);
}

QString ChooseImageSavePath(QWidget* owner) {
    // On the heap: the owner may be destroyed while the dialog is open (a lost link), and with it
    // the dialog.
    QPointer<QFileDialog> dialog = new QFileDialog(owner);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(
        {QString::fromLatin1(kImageSaveFilters[0]), QString::fromLatin1(kImageSaveFilters[1])});
    dialog->setDefaultSuffix(SuffixOf(QString()));
    dialog->selectFile(QStringLiteral("Current"));
    QFileDialog* d = dialog.data();
    QObject::connect(d, &QFileDialog::filterSelected, d,
                     [d](const QString& filter) { d->setDefaultSuffix(SuffixOf(filter)); });
    QString path;
    if (dialog->exec() == QDialog::Accepted && dialog) {
        path = SavePathWithSuffix(dialog->selectedFiles().value(0), dialog->selectedNameFilter());
    }
    delete dialog.data();
    return path;
}

void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                    const QString& text) {
    QPointer<QMessageBox> box =
        new QMessageBox(icon, caption, PlainLines(text), QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);  // the text names the file the operator chose
    box->exec();
    delete box.data();
}
