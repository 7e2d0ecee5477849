#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// The two formats the save-file dialog offers, in its order.
extern const char* const kImageSaveFilters[2];

// A path typed without a suffix gets the suffix of the filter chosen in the dialog.
QString SavePathWithSuffix(const QString& path, const QString& nameFilter);

// The save-file dialog for the screen image, owned by `owner`: "Current" as the name, PNG and
// BMP filters, a prompt before an existing file is replaced. The chosen path, or empty when
// cancelled or when `owner` went away meanwhile.
QString ChooseImageSavePath(QWidget* owner);

// A modal message box that survives its parent going away while it is open.
void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                    const QString& text);
