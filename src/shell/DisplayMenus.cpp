#include "shell/DisplayMenus.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

#include "platform/Strings.h"
#include "ui/Widgets.h"

namespace {

constexpr int kFirstPattern = 32818;

QString Tr(const char* caption) {
    return QCoreApplication::translate("DisplayMenus", caption);
}

// The digit of an item's number as its mnemonic: 1-9, then 0 for the tenth.
QString Numbered(const char* caption, int number) {
    const QString n = QString::number(number);
    return Tr(caption) + u' ' + n.chopped(1) + u'&' + n.right(1);
}

QAction* AddItem(QMenu* menu, const QString& text, int id, const std::function<void(int)>& run) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    QObject::connect(action, &QAction::triggered, menu, [run, id] { run(id); });
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
                      const std::function<void(int)>& run) {
    const bool small = modelClass == 3100;
    const int controlGroups = small ? 4 : 8;
    const int displayGroups = small ? 6 : 10;
    for (QMenu* menu : {control, trend, digital, bar}) {
        ClearItems(menu);
    }
    for (int g = 1; g <= controlGroups; ++g) {
        AddItem(control, Numbered(QT_TRANSLATE_NOOP("DisplayMenus", "Control group"), g), 500 + g,
                run);
    }
    control->addSeparator();
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&Overview")), 553, run);
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&Internal SW status")), 550, run);
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "DI/D&O status")), 551, run);
    QMenu* program = control->addMenu(Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&Program")));
    program->setObjectName(QStringLiteral("program"));
    AddItem(program, RzText(RzStr::kProgramItem), 552, run);
    program->addSeparator();
    AddItem(program, RzFormatText(RzStr::kPattern, 1), kFirstPattern, run)->setEnabled(false);
    control->addSeparator();
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "CONTROLLER &style")), 580, run)
        ->setCheckable(true);
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&FACEPLATE style")), 581, run)
        ->setCheckable(true);
    AddItem(control, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&HYBRID Style")), 582, run)
        ->setCheckable(true);

    const std::pair<QMenu*, int> groups[] = {{trend, 600}, {digital, 700}, {bar, 800}};
    for (const auto& [menu, base] : groups) {
        for (int g = 1; g <= displayGroups; ++g) {
            AddItem(menu, Numbered(QT_TRANSLATE_NOOP("DisplayMenus", "Group"), g), base + g, run);
        }
    }
    trend->addSeparator();
    AddItem(trend, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "&All Channels")), 650, run);
    AddItem(trend, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "S&cale OFF")), 652, run);
    AddItem(trend, Tr(QT_TRANSLATE_NOOP("DisplayMenus", "Di&gital OFF")), 653, run);
}

QMenu* ProgramSubmenu(QMenu* control) {
    return control->findChild<QMenu*>(QStringLiteral("program"), Qt::FindDirectChildrenOnly);
}

bool UpdateProgramSubmenu(QMenu* program, const InstrumentFacts& facts,
                          const std::function<void(int)>& run) {
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
            AddItem(program, RzFormatText(RzStr::kPattern, i + 1), kFirstPattern + i, run);
            any = true;
        }
    }
    if (!any) {
        AddItem(program, RzFormatText(RzStr::kPattern, 1), kFirstPattern, run)->setEnabled(false);
    }
    return !any;
}

void ApplyItemStates(QMenu* menu, const ICommandTarget* view, bool patternsDisabled) {
    for (QAction* action : menu->actions()) {
        if (action->menu() != nullptr) {
            ApplyItemStates(action->menu(), view, patternsDisabled);
            continue;
        }
        bool ok = false;
        const int id = action->data().toInt(&ok);
        if (!ok || id == 0) {
            continue;
        }
        if (id >= kFirstPattern && id < kFirstPattern + 30) {
            action->setEnabled(!patternsDisabled && view != nullptr);
            continue;
        }
        const CommandState state = view != nullptr ? view->StateOf(id) : CommandState{};
        action->setEnabled(state.enabled);
        action->setChecked(state.checked);
        if (!state.caption.isEmpty()) {
            action->setText(state.caption);
        }
    }
}
