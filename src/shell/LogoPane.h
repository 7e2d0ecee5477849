#pragma once

#include <QWidget>

// The client pane while logged out: the product name, embossed, about a quarter of the way down,
// and the maker's line with its mark below it.
class CLogoPane : public QWidget {
    Q_OBJECT
  public:
    explicit CLogoPane(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};
