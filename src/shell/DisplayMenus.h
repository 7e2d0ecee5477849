#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "ui/CommandTarget.h"

class QMenu;

// What the display drop-down menus need to know of the logged-in instrument, read on the GUI
// thread from the connection's published settings.
struct InstrumentFacts {
    int32_t modelClass = 3200;
    int32_t version = 0;                                 // firmware major x 65536 + minor
    std::array<int32_t, kPatternCount> patternStates{};  // state code of each program pattern
};

// The firmware from which the Program submenu lists program patterns.
constexpr int32_t kPatternMenuVersion = 0x30006;

// Fills the control tool bar's drop-down menus for the instrument's model: the Control menu
// (control groups, overviews, the Program submenu and the control styles) and the trend,
// digital and bar group menus, with 4 control and 6 display groups for model 3100 and 8 and
// 10 otherwise. Every item carries its command and triggers `run` with it. Items already there
// are removed.
void FillDisplayMenus(QMenu* control, QMenu* trend, QMenu* digital, QMenu* bar, int32_t modelClass,
                      const std::function<void(CommandRef)>& run);

// The Program submenu of the Control menu, or nullptr.
QMenu* ProgramSubmenu(QMenu* control);

// Brings the Program submenu up to date before the Control menu drops down: below firmware 3.06
// the pattern items stay disabled; otherwise one item per pattern whose state is neither 0 nor 1,
// or a greyed "Pattern 1" when there is none. Recomputed at every drop-down, so a later state or
// another instrument is never held back by an earlier one. Returns whether the pattern items are
// disabled.
bool UpdateProgramSubmenu(QMenu* program, const InstrumentFacts& facts,
                          const std::function<void(CommandRef)>& run);

// Applies the view's states to the items of `menu` (and its submenus) that carry a command;
// the pattern items follow `patternsDisabled` instead.
void ApplyItemStates(QMenu* menu, const ICommandTarget* view, bool patternsDisabled);
