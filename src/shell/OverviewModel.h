#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "session/InstrumentSummary.h"
#include "session/ReachabilityProbe.h"

// How an instrument of the overview stands.
enum class OverviewState { kUnknown, kNotReachable, kReachable, kLoggedIn, kRefused };

// The plant overview: one row per registered instrument, in the registry's order, with what the
// console knows of it. Rows are fed by name: reachability from the probe, and the logged-in
// state from whichever connection keeps a model of the instrument (today the console's own
// log-in). Every text that comes from an instrument or the registry is given as it is; the view
// shows it as plain text.
class COverviewModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        kNameColumn,
        kAddressColumn,
        kReachColumn,
        kStateColumn,
        kModelColumn,
        kFirmwareColumn,
        kAlarmColumn,
        kMemoryColumn,
        kMathColumn,
        kLastDataColumn,
        kValuesColumn,
        kColumnCount
    };
    enum Role {
        kAttentionRole = Qt::UserRole + 1,  // bool: alarm, not reachable, log-in refused or stale
        kStaleRole,                         // bool: logged in, without valid data for too long
        kAlarmRole,                         // bool: logged in, with an alarm raised
    };
    struct Instrument {
        std::string name;
        std::string address;  // dotted IPv4 text without blanks
    };

    explicit COverviewModel(QObject* parent = nullptr);

    // The rows, in this order. A row whose name and address stay keeps what is known of it.
    void SetInstruments(const std::vector<Instrument>& instruments);
    // SetInstruments with the registry file's instruments that are to be shown in the overview
    // (none when the file cannot be read).
    void LoadRegistry();
    const std::vector<Instrument>& Instruments() const { return instruments_; }
    int RowOf(const std::string& name) const;

    // --- Feeds, by instrument name; a name (or probe address) not listed is ignored ---
    void UpdateReach(const CProbeResult& result);
    // The instrument is logged in; `summary` is what its connection's model holds now. Its
    // values are stale once `staleAfterMs` pass without valid ones.
    void UpdateSession(const std::string& name, const CInstrumentSummary& summary,
                       int staleAfterMs);
    // Its connection ended (log-out or lost link).
    void EndSession(const std::string& name);
    // A log-in was refused (user name or password); a later log-in or an unreachable probe
    // takes its place.
    void SetLoginRefused(const std::string& name, const std::string& reason);
    // Judges staleness again as time passes.
    void Tick();
    // The steady clock in nanoseconds (tests: a manual one).
    void SetClock(std::function<int64_t()> nowNs) { nowNs_ = std::move(nowNs); }

    OverviewState StateAt(int row) const;
    bool NeedsAttention(int row) const;
    bool IsStale(int row) const;
    // Logged in, with an alarm raised: the row is marked in the alarm colour.
    bool InAlarm(int row) const;

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  signals:
    // The list of instruments changed (not what is known of them).
    void InstrumentsChanged();

  private:
    struct Row {
        std::optional<CProbeResult> probe;
        bool refused = false;
        int64_t refusedAtNs = 0;
        std::string refusedReason;
        bool loggedIn = false;
        int64_t sessionSinceNs = 0;
        int staleAfterMs = 0;
        CInstrumentSummary summary;
        // The local wall-clock time of summary.valuesValidAtNs ("HH:mm:ss"), made once as the
        // values arrive: a local-time conversion reads the time zone each time.
        QString lastValid;
        bool stale = false;
        // What the views were last told of the row (RowChanged): its cells' texts and
        // descriptions, and the flags that shape the whole row.
        struct Shown {
            bool known = false;
            bool attention = false;
            bool stale = false;
            bool alarm = false;
            QString text[kColumnCount];
            QString description[kColumnCount];
        } shown;
    };

    QString Text(int row, int column) const;
    QString Description(int row, int column) const;
    int64_t DataAgeNs(const Row& row) const;
    bool JudgeStale(const Row& row) const;
    // Tells the views of the cells of `row` whose text or description changed since the last
    // call, or of the whole row when its attention, stale or alarm flag changed: a row whose
    // values came again repaints the two or three cells that changed, not the whole row.
    void RowChanged(int row);

    std::vector<Instrument> instruments_;
    std::vector<Row> rows_;
    std::function<int64_t()> nowNs_;
};

// The overview's order: the rows that need attention first, each part in the registry's order.
class COverviewOrder : public QSortFilterProxyModel {
    Q_OBJECT
  public:
    explicit COverviewOrder(COverviewModel* source, QObject* parent = nullptr);

  protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};
