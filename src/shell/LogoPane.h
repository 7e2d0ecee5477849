#pragma once

#include <QPixmap>
#include <QWidget>

// The client pane while logged out: the product name, embossed, about a quarter of the way down,
// and the maker's line with its mark below it.
class CLogoPane : public QWidget {
    Q_OBJECT
  public:
    explicit CLogoPane(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // The maker's mark, drawn once: an icon made at each paint would leave a new entry in the
    // process's pixmap cache every time the pane is shown.
    QPixmap mark_;
};
