#pragma once

#include <QWidget>
#include <array>

#include "ui/Commands.h"

class QPushButton;

// The control dialog bar: seven buttons side by side from the left, "Memory", "Math",
// "Math reset", "AlarmACK", "Save", "Message" and "Log". Their base width is a seventh of the
// bar, at most 110 pixels; "Memory" is 15 pixels wider, "Save" and "Log" 20 narrower,
// "Message" 10 narrower. They run from 2 pixels below the bar's top to 3 above its bottom.
class CControlDialogBar : public QWidget {
    Q_OBJECT
  public:
    static constexpr std::array<Command, 7> kButtonCommands = {
        Command::kMemory,   Command::kMath,         Command::kMathReset,
        Command::kAlarmAck, Command::kSaveDataMenu, Command::kWriteMessageMenu,
        Command::kLog};

    explicit CControlDialogBar(QWidget* parent = nullptr);

    QPushButton* Button(CommandRef command) const;
    // The buttons' rectangles for a bar of `size`, in the order of kButtonCommands.
    static std::array<QRect, 7> ButtonRects(QSize size);

    QSize sizeHint() const override;

  signals:
    // A button was pressed; the frame runs the command or drops its menu down.
    void Pressed(Command command);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::array<QPushButton*, 7> buttons_{};
};
