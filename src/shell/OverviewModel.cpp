#include "shell/OverviewModel.h"

#include <QColor>
#include <QDateTime>
#include <chrono>

#include "platform/StatusSink.h"
#include "registry/InstrumentRegistry.h"
#include "registry/InstrumentSettings.h"
#include "ui/FlatLook.h"
#include "ui/PlainText.h"

namespace {

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString Milliseconds(int64_t us) {
    return QString::number(static_cast<double>(us) / 1000.0, 'f', 1);
}

const char* const kHeaders[COverviewModel::kColumnCount] = {
    QT_TRANSLATE_NOOP("COverviewModel", "Name"),
    QT_TRANSLATE_NOOP("COverviewModel", "Address"),
    QT_TRANSLATE_NOOP("COverviewModel", "Reachable"),
    QT_TRANSLATE_NOOP("COverviewModel", "State"),
    QT_TRANSLATE_NOOP("COverviewModel", "Model"),
    QT_TRANSLATE_NOOP("COverviewModel", "Firmware"),
    QT_TRANSLATE_NOOP("COverviewModel", "Alarm"),
    QT_TRANSLATE_NOOP("COverviewModel", "Memory"),
    QT_TRANSLATE_NOOP("COverviewModel", "Math"),
    QT_TRANSLATE_NOOP("COverviewModel", "Last data"),
    QT_TRANSLATE_NOOP("COverviewModel", "Values"),
};

}  // namespace

COverviewModel::COverviewModel(QObject* parent)
    : QAbstractTableModel(parent), nowNs_(SteadyNowNs) {}

void COverviewModel::SetInstruments(const std::vector<Instrument>& instruments) {
    std::vector<Row> rows;
    bool same = instruments.size() == instruments_.size();
    for (size_t i = 0; i < instruments.size(); ++i) {
        const int kept = RowOf(instruments[i].name);
        const bool keep = kept >= 0 && instruments_[kept].address == instruments[i].address;
        rows.push_back(keep ? rows_[kept] : Row{});
        same = same && keep && kept == static_cast<int>(i);
    }
    if (same) {
        return;
    }
    beginResetModel();
    instruments_ = instruments;
    rows_ = std::move(rows);
    endResetModel();
    emit InstrumentsChanged();
}

void COverviewModel::LoadRegistry() {
    CInstrumentRegistry registry;
    const CInstrumentSettings settings;
    std::vector<Instrument> instruments;
    const RzExpected<void> loaded = registry.Load();
    if (!loaded) {
        ShowStatusMessages(loaded.error());
    } else {
        for (int i = 0; i < registry.GetCount(); ++i) {
            const CRegistryRecord record = registry.GetRecord(i);
            if (!settings.For(record.name).showInOverview) {
                continue;
            }
            std::string address = record.ip;
            std::erase(address, ' ');
            instruments.push_back({record.name, address});
        }
    }
    SetInstruments(instruments);
}

int COverviewModel::RowOf(const std::string& name) const {
    for (size_t i = 0; i < instruments_.size(); ++i) {
        if (instruments_[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void COverviewModel::UpdateReach(const CProbeResult& result) {
    const int row = RowOf(result.name);
    if (row < 0 || instruments_[row].address != result.address) {
        return;  // a probe of an address the registry no longer holds
    }
    rows_[row].probe = result;
    RowChanged(row);
}

void COverviewModel::UpdateSession(const std::string& name, const CInstrumentSummary& summary,
                                   int staleAfterMs) {
    const int row = RowOf(name);
    if (row < 0) {
        return;
    }
    Row& r = rows_[row];
    const int64_t now = nowNs_();
    if (!r.loggedIn) {
        r.loggedIn = true;
        r.sessionSinceNs = now;
        r.refused = false;
    }
    if (summary.valuesValidAtNs != 0 && summary.valuesValidAtNs != r.summary.valuesValidAtNs) {
        r.lastValid = QDateTime::fromMSecsSinceEpoch(QDateTime::currentMSecsSinceEpoch() -
                                                     (now - summary.valuesValidAtNs) / 1000000)
                          .toString(QStringLiteral("HH:mm:ss"));
    }
    r.summary = summary;
    r.staleAfterMs = staleAfterMs;
    r.stale = JudgeStale(r);
    RowChanged(row);
}

void COverviewModel::EndSession(const std::string& name) {
    const int row = RowOf(name);
    if (row < 0 || !rows_[row].loggedIn) {
        return;
    }
    Row& r = rows_[row];
    r.loggedIn = false;
    r.stale = false;
    r.lastValid = {};
    // What the instrument is stays known; what it did is no longer followed.
    CInstrumentSummary kept;
    kept.model = r.summary.model;
    kept.firmware = r.summary.firmware;
    r.summary = kept;
    RowChanged(row);
}

void COverviewModel::SetLoginRefused(const std::string& name, const std::string& reason) {
    const int row = RowOf(name);
    if (row < 0) {
        return;
    }
    Row& r = rows_[row];
    r.refused = true;
    r.refusedAtNs = nowNs_();
    r.refusedReason = reason;
    RowChanged(row);
}

void COverviewModel::Tick() {
    for (size_t i = 0; i < rows_.size(); ++i) {
        Row& r = rows_[i];
        const bool stale = JudgeStale(r);
        // A stale row's age text moves on with every tick.
        if (stale != r.stale || stale) {
            r.stale = stale;
            RowChanged(static_cast<int>(i));
        }
    }
}

int64_t COverviewModel::DataAgeNs(const Row& row) const {
    const int64_t since =
        row.summary.valuesValidAtNs != 0 ? row.summary.valuesValidAtNs : row.sessionSinceNs;
    return nowNs_() - since;
}

bool COverviewModel::JudgeStale(const Row& row) const {
    return row.loggedIn && DataAgeNs(row) > int64_t{row.staleAfterMs} * 1000000;
}

OverviewState COverviewModel::StateAt(int row) const {
    const Row& r = rows_.at(static_cast<size_t>(row));
    if (r.loggedIn) {
        return OverviewState::kLoggedIn;
    }
    // A refusal stands until a later probe finds the instrument gone.
    if (r.probe && !r.probe->reachable && (!r.refused || r.probe->atNs > r.refusedAtNs)) {
        return OverviewState::kNotReachable;
    }
    if (r.refused) {
        return OverviewState::kRefused;
    }
    if (r.probe) {
        return OverviewState::kReachable;
    }
    return OverviewState::kUnknown;
}

bool COverviewModel::IsStale(int row) const {
    return rows_.at(static_cast<size_t>(row)).stale;
}

bool COverviewModel::InAlarm(int row) const {
    const Row& r = rows_.at(static_cast<size_t>(row));
    return r.loggedIn && !r.summary.alarm.empty();
}

bool COverviewModel::NeedsAttention(int row) const {
    const Row& r = rows_.at(static_cast<size_t>(row));
    const OverviewState state = StateAt(row);
    return InAlarm(row) || r.stale || state == OverviewState::kNotReachable ||
           state == OverviewState::kRefused;
}

void COverviewModel::RowChanged(int row) {
    Row::Shown& shown = rows_[static_cast<size_t>(row)].shown;
    const bool attention = NeedsAttention(row);
    const bool stale = IsStale(row);
    const bool alarm = data(index(row, 0), kAlarmRole).toBool();
    const bool whole = !shown.known || attention != shown.attention || stale != shown.stale ||
                       alarm != shown.alarm;
    shown.known = true;
    shown.attention = attention;
    shown.stale = stale;
    shown.alarm = alarm;
    int first = -1;  // the first changed column of the run being collected
    for (int column = 0; column <= kColumnCount; ++column) {
        bool changed = false;
        if (column < kColumnCount) {
            QString text = Text(row, column);
            // The name's cell describes the alarm to a screen reader (data).
            QString description = Description(row, column == kNameColumn ? kAlarmColumn : column);
            changed =
                whole || text != shown.text[column] || description != shown.description[column];
            if (changed) {
                shown.text[column] = std::move(text);
                shown.description[column] = std::move(description);
            }
        }
        if (changed && first < 0) {
            first = column;
        } else if (!changed && first >= 0) {
            emit dataChanged(index(row, first), index(row, column - 1));
            first = -1;
        }
    }
}

int COverviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(instruments_.size());
}

int COverviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QString COverviewModel::Text(int row, int column) const {
    const Instrument& instrument = instruments_[static_cast<size_t>(row)];
    const Row& r = rows_[static_cast<size_t>(row)];
    const CInstrumentSummary& s = r.summary;
    const auto running = [&](bool on) {
        return !r.loggedIn ? QString() : on ? tr("running") : tr("stopped");
    };
    switch (column) {
        case kNameColumn:
            return Latin1(instrument.name);
        case kAddressColumn:
            return Latin1(instrument.address);
        case kReachColumn:
            if (!r.probe) {
                return {};
            }
            return (r.probe->reachable ? tr("yes, %1 ms") : tr("no, %1 ms"))
                .arg(Milliseconds(r.probe->tookUs));
        case kStateColumn:
            switch (StateAt(row)) {
                case OverviewState::kUnknown:
                    return {};
                case OverviewState::kNotReachable:
                    return tr("not reachable");
                case OverviewState::kReachable:
                    return tr("reachable");
                case OverviewState::kLoggedIn:
                    return tr("logged in");
                case OverviewState::kRefused:
                    return tr("log-in refused");
            }
            return {};
        case kModelColumn:
            return Latin1(s.model);
        case kFirmwareColumn:
            return Latin1(s.firmware);
        case kAlarmColumn:
            return !r.loggedIn ? QString() : InAlarm(row) ? tr("alarm") : tr("none");
        case kMemoryColumn:
            return running(s.memoryRunning);
        case kMathColumn:
            return running(s.mathRunning);
        case kLastDataColumn:
            return r.loggedIn ? r.lastValid : QString();
        case kValuesColumn: {
            QStringList values;
            for (const CSummaryValue& value : s.values) {
                values << (value.unit.empty() ? Latin1(value.value)
                                              : Latin1(value.value) + u' ' + Latin1(value.unit));
            }
            return values.join(QStringLiteral(", "));
        }
        default:
            return {};
    }
}

QString COverviewModel::Description(int row, int column) const {
    const Row& r = rows_[static_cast<size_t>(row)];
    switch (column) {
        case kAlarmColumn:
            // The row's mark names the values in alarm, as the status bar does.
            return InAlarm(row) ? tr("Alarm on %1").arg(Latin1(r.summary.alarm)) : QString();
        case kReachColumn:
            return r.probe && !r.probe->reachable ? Latin1(r.probe->reason) : QString();
        case kStateColumn:
            if (StateAt(row) == OverviewState::kRefused) {
                return Latin1(r.refusedReason);
            }
            return r.stale ? Latin1(r.summary.valuesReason) : QString();
        case kLastDataColumn:
            return r.stale ? tr("No data for %1 s").arg(DataAgeNs(r) / 1000000000) : QString();
        case kValuesColumn: {
            QStringList values;
            for (const CSummaryValue& value : r.summary.values) {
                values << QStringLiteral("%1 %2 %3")
                              .arg(Latin1(value.tag), Latin1(value.value), Latin1(value.unit))
                              .trimmed();
            }
            return values.join(QStringLiteral("; "));
        }
        default:
            return {};
    }
}

QVariant COverviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) {
        return {};
    }
    const int row = index.row();
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return Text(row, column);
        case Qt::ToolTipRole: {
            const QString description = Description(row, column);
            return description.isEmpty() ? Text(row, column) : description;
        }
        case Qt::AccessibleTextRole: {
            // A screen reader hears the column with the cell, and an empty cell as such.
            QString text = PlainLine(Text(row, column));
            if (text.isEmpty()) {
                text = column == kReachColumn || column == kStateColumn ? tr("not checked yet")
                                                                        : tr("not known");
            }
            return tr(kHeaders[column]) + QStringLiteral(": ") + text;
        }
        case Qt::AccessibleDescriptionRole:
            // The name, where a row is entered, tells of its alarm too.
            return PlainLine(Description(row, column == kNameColumn ? kAlarmColumn : column));
        case kAttentionRole:
            return NeedsAttention(row);
        case kStaleRole:
            return IsStale(row);
        case kAlarmRole:
            return InAlarm(row);
        case Qt::BackgroundRole:
            return InAlarm(row) ? QVariant(AlarmColour()) : QVariant();
        case Qt::ForegroundRole:
            return InAlarm(row) ? QVariant(QColor(Qt::white)) : QVariant();
        default:
            return {};
    }
}

QVariant COverviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount ||
        (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return tr(kHeaders[section]);
}

COverviewOrder::COverviewOrder(COverviewModel* source, QObject* parent)
    : QSortFilterProxyModel(parent) {
    setSourceModel(source);
    setDynamicSortFilter(true);
    sort(0);
}

bool COverviewOrder::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const bool leftFirst = left.data(COverviewModel::kAttentionRole).toBool();
    const bool rightFirst = right.data(COverviewModel::kAttentionRole).toBool();
    if (leftFirst != rightFirst) {
        return leftFirst;
    }
    return left.row() < right.row();
}
