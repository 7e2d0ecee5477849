#pragma once

#include <QString>

#include "ui/Commands.h"

// How a command shows in menus and on buttons, computed on demand from the state it follows.
struct CommandState {
    bool enabled = false;
    bool checked = false;
    QString caption;  // empty: the command's own caption
};

// Something that handles commands of the main window: the connection's view handles the
// display, image and instrument function commands. Both calls run on the GUI thread and
// must not wait for the instrument.
class ICommandTarget {
  public:
    virtual ~ICommandTarget() = default;
    virtual CommandState StateOf(CommandRef command) const = 0;
    virtual void Run(CommandRef command) = 0;
};
