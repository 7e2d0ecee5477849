#include "shell/DisplayMenus.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

#include "platform/Strings.h"
#include "ui/Widgets.h"

namespace {

QString Tr(const char* caption) {
    return QCoreApplication::translate("DisplayMenus", caption);
}

// The digit of an item's number as its mnemonic: 1-9, then 0 for the tenth.
QString Numbered(const char* caption, int number) {
    const QString n = QString::number(number);
    return Tr(caption) + u' ' + n.chopped(1) + u'&' + n.right(1);
}

QAction* AddItem(QMenu* menu, const QString& text, CommandRef command,
                 const std::function<void(CommandRef)>& run) {
    QAction* action = menu->addAction(text);
    action->setData(QVariant::fromValue(command));
    QObject::connect(action, &QAction::triggered, menu, [run, command] { run(command); });
    return action;
}

void ClearItems(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        menu->removeAction(action);
        if (action->menu() != nullptr) {
            action->menu()->deleteLater();
        }
        if (action->parent() == menu) {
            action->deleteLater();
        }
    }
}

}  // namespace

void FillDisplayMenus(QMenu* control, QMenu* trend, QMenu* digital, QMenu* bar, int32_t modelClass,
                      const std::function<void(CommandRef)>& run) {
    using enum Command;
    const bool small = modelClass == 3100;
    const int controlGroups = small ? 4 : kControlGroupCount;
    const int displayGroups = small ? 6 : kMeasureGroupCount;
    for (QMenu* menu : {control, trend, digital, bar}) {
        ClearItems(menu);
    }
    for (int g = 1; g <= controlGroups; ++g) {
        AddItem(control, Numbered(QT_TRANSLATE_NOOP("DisplayMenus", "Control group"), g),
                {kControlGroup, g}, run);
    }
    control->addSeparator();
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&Overview")), kControlOverview, run);
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&Internal SW status")), kInternalSwitch,
            run);
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "DI/D&O status")), kDioStatus, run);
    QMenu* program = control->addMenu(Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&Program")));
    program->setObjectName(QStringLiteral("program"));
    AddItem(program, RzText(RzStr::kProgramItem), kProgram, run);
    program->addSeparator();
    AddItem(program, RzFormatText(RzStr::kPattern, 1), {kPattern, 1}, run)->setEnabled(false);
    control->addSeparator();
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "CONTROLLER &style")), kControllerStyle,
            run)
        ->setCheckable(true);
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&FACEPLATE style")), kFaceplateStyle,
            run)
        ->setCheckable(true);
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&HYBRID Style")), kHybridStyle, run)
        ->setCheckable(true);

    const std::pair<QMenu*, Command> groups[] = {
        {trend, kTrendGroup}, {digital, kDigitalGroup}, {bar, kBarGroup}};
    for (const auto& [menu, group] : groups) {
        for (int g = 1; g <= displayGroups; ++g) {
            AddItem(menu, Numbered(QT_TRANSLATE_NOOP("DisplayMenus", "Group"), g), {group, g}, run);
        }
    }
    trend->addSeparator();
    AddItem(trend, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&All Channels")), kAllChannels, run);
    AddItem(trend, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "S&cale OFF")), kTrendScale, run);
    AddItem(trend, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "Di&gital OFF")), kTrendDigital, run);
}

QMenu* ProgramSubmenu(QMenu* control) {
    return control->findChild<QMenu*>(QStringLiteral("program"), Qt::FindDirectChildrenOnly);
}

bool UpdateProgramSubmenu(QMenu* program, const InstrumentFacts& facts,
                          const std::function<void(CommandRef)>& run) {
    if (facts.version < kPatternMenuVersion) {
        return true;  // the submenu keeps what it has; its pattern items stay disabled
    }
    const QList<QAction*> items = program->actions();
    for (qsizetype i = 2; i < items.size(); ++i) {
        program->removeAction(items[i]);
        items[i]->deleteLater();
    }
    bool any = false;
    for (int i = 0; i < static_cast<int>(facts.patternStates.size()); ++i) {
        const int32_t state = facts.patternStates[static_cast<size_t>(i)];
        if (state != 0 && state != 1) {
            AddItem(program, RzFormatText(RzStr::kPattern, i + 1), {Command::kPattern, i + 1}, run);
            any = true;
        }
    }
    if (!any) {
        AddItem(program, RzFormatText(RzStr::kPattern, 1), {Command::kPattern, 1}, run)
            ->setEnabled(false);
    }
    return !any;
}

void ApplyItemStates(QMenu* menu, const ICommandTarget* view, bool patternsDisabled) {
    for (QAction* action : menu->actions()) {
        if (action->menu() != nullptr) {
            ApplyItemStates(action->menu(), view, patternsDisabled);
            continue;
        }
        if (action->data().metaType() != QMetaType::fromType<CommandRef>()) {
            continue;
        }
        const CommandRef command = action->data().value<CommandRef>();
        if (command.command == Command::kPattern) {
            action->setEnabled(!patternsDisabled && view != nullptr);
            continue;
        }
        const CommandState state = view != nullptr ? view->StateOf(command) : CommandState{};
        action->setEnabled(state.enabled);
        action->setChecked(state.checked);
        if (!state.caption.isEmpty()) {
            action->setText(state.caption);
        }
    }
}
