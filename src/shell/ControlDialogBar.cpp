#include "shell/ControlDialogBar.h"

#include <QPushButton>
#include <algorithm>

#include "ui/Widgets.h"

CControlDialogBar::CControlDialogBar(QWidget* parent) : QWidget(parent) {
    const char* const captions[] = {QT_TR_NOOP("Memory"),     QT_TR_NOOP("Math"),
                                    QT_TR_NOOP("Math reset"), QT_TR_NOOP("AlarmACK"),
                                    QT_TR_NOOP("Save"),       QT_TR_NOOP("Message"),
                                    QT_TR_NOOP("Log")};
    for (size_t i = 0; i < buttons_.size(); ++i) {
        auto* button = new QPushButton(tr(captions[i]), this);
        NameAfter(button, button->text());
        const Command command = kButtonCommands[i];
        connect(button, &QPushButton::clicked, this, [this, command] { emit Pressed(command); });
        buttons_[i] = button;
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QPushButton* CControlDialogBar::Button(CommandRef command) const {
    for (size_t i = 0; i < buttons_.size(); ++i) {
        if (CommandRef(kButtonCommands[i]) == command) {
            return buttons_[i];
        }
    }
    return nullptr;
}

std::array<QRect, 7> CControlDialogBar::ButtonRects(QSize size) {
    const int base = std::min(size.width() / 7, 110);
    const int widths[] = {base + 15, base, base, base, base - 20, base - 10, base - 20};
    std::array<QRect, 7> rects;
    int x = 0;
    for (size_t i = 0; i < rects.size(); ++i) {
        rects[i] = QRect(x, 2, widths[i], size.height() - 5);
        x += widths[i];
    }
    return rects;
}

QSize CControlDialogBar::sizeHint() const {
    return {7 * 80, buttons_[0]->sizeHint().height() + 5};
}

void CControlDialogBar::resizeEvent(QResizeEvent*) {
    const auto rects = ButtonRects(size());
    for (size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setGeometry(rects[i]);
    }
}
