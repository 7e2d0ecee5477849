#pragma once

#include <QImage>
#include <QPainter>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "image/Image.h"

// The instrument's screen as last fetched. Each new image is decoded once, when it arrives;
// painting only draws the decoded picture: unscaled and centred (one pixel up and left) when it
// fits the window, stretched to one pixel less than the window each way when it does not. An
// image that does not decode leaves the picture as it was.
class CImageWindow : public QWidget {
    Q_OBJECT
  public:
    // The window's size from its layout: 219 x 200 dialog units.
    static QSize TemplateSize();
    // The size the view gives the window at creation: 640 x 482 for an operator of level A on a
    // model other than 3100, whose screens are that large; otherwise the template size, in which
    // a model 3100 screen (320 x 240) shows unscaled.
    static QSize CreationSize(char accessLevel, int32_t modelClass);

    explicit CImageWindow(QWidget* parent = nullptr);

    // A new screen image (PNG bytes) from the connection. `generation` numbers the images a
    // connection publishes: when it is not 0 and equals that of the last image taken, the bytes
    // are known to be the same and are not decoded again. Repaints when a picture was decoded;
    // returns whether one was.
    bool SetImageBytes(const uint8_t* data, uint32_t length, uint64_t generation = 0);

    // The decoded picture painting draws (null before the first good image).
    const QImage& Picture() const { return picture_; }

    // The copy Save writes: the picture shown now, or while copying is disabled (while the save
    // dialog is open, so that the copy does not change under it) the one shown when it was.
    const CRzImage& SavedCopy() const { return copyEnabled_ ? shown_ : saved_; }

    // Marks the picture as old: greyed, with `text` over it ("No data for 25 s"); an empty text
    // takes the mark away.
    void SetStaleText(const QString& text);
    const QString& StaleText() const { return staleText_; }
    bool CopyEnabled() const { return copyEnabled_; }
    void SetCopyEnabled(bool enabled);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void DrawPicture(QPainter& painter);

    CRzImage decoded_;  // decode target; it and shown_ swap buffers when an image decodes
    CRzImage shown_;    // the picture's pixels as decoded
    CRzImage saved_;
    QImage picture_;
    QString staleText_;
    uint64_t generation_ = 0;
    bool copyEnabled_ = true;
};
