#include "shell/WindowPlace.h"

QRect FitWithin(const QRect& window, const QRect& area) {
    if (area.isEmpty()) {
        return window;
    }
    QRect fitted(window.topLeft(), window.size().boundedTo(area.size()));
    if (fitted.right() > area.right()) {
        fitted.moveRight(area.right());
    }
    if (fitted.bottom() > area.bottom()) {
        fitted.moveBottom(area.bottom());
    }
    if (fitted.left() < area.left()) {
        fitted.moveLeft(area.left());
    }
    if (fitted.top() < area.top()) {
        fitted.moveTop(area.top());
    }
    return fitted;
}
