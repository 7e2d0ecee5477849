#pragma once

#include <QWidget>
#include <array>

class QPushButton;

// The control dialog bar: seven buttons side by side from the left, "Memory", "Math",
// "Math reset", "AlarmACK", "Save", "Message" and "Log". Their base width is a seventh of the
// bar, at most 110 pixels; "Memory" is 15 pixels wider, "Save" and "Log" 20 narrower,
// "Message" 10 narrower. They run from 2 pixels below the bar's top to 3 above its bottom.
class CControlDialogBar : public QWidget {
    Q_OBJECT
  public:
    static constexpr std::array<int, 7> kButtonIds = {2002, 2000, 2001, 2003, 2004, 2005, 2006};

    explicit CControlDialogBar(QWidget* parent = nullptr);

    QPushButton* Button(int commandId) const;
    // The buttons' rectangles for a bar of `size`, in the order of kButtonIds.
    static std::array<QRect, 7> ButtonRects(QSize size);

    QSize sizeHint() const override;

  signals:
    // A button was pressed; the frame runs the command or drops its menu down.
    void Pressed(int commandId);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::array<QPushButton*, 7> buttons_{};
};
