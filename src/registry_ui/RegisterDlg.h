#pragma once

#include <QDialog>
#include <string>
#include <utility>
#include <vector>

#include "registry/InstrumentRegistry.h"

class CRegisterGrid;
class QLabel;
class QPushButton;
class QToolButton;

// The Register dialog: the registered instruments in a grid, edited in place, with Add, Delete,
// Up and Down. OK checks every row and writes the registry file; Cancel never writes.
//
// Every record of the file is shown, however many there are; only Add stops at 50 rows. A file
// that cannot be read is shown as read-only with the reason, so that OK can never replace it
// with an empty list. OK reads the file again first: when another program changed it after the
// dialog opened, the operator is asked before those changes are overwritten; the check and the
// write happen under the file's lock. A failed write is reported and the dialog stays open.
class CRegisterDlg : public QDialog {
    Q_OBJECT
  public:
    // Edits the registry file at `path`; an empty path means RZRegist.rzr in the data directory.
    explicit CRegisterDlg(QWidget* parent = nullptr, std::string path = {});
    ~CRegisterDlg() override;

    // A record OK took out of the file: its name, its address with blanks removed, and whether
    // the name is gone from the file (not only moved to another address). A renamed instrument
    // is one taken out and another added: the new name starts without the old one's settings.
    struct Dropped {
        std::string name;
        std::string address;
        bool nameGone = false;
    };

    // The number of instruments in the file written by OK.
    int RegisteredCount() const { return registeredCount_; }
    // The records the file held before OK wrote it that it no longer holds.
    const std::vector<Dropped>& DroppedRecords() const { return dropped_; }
    // False when the file could not be read; the dialog then only shows why.
    bool IsEditable() const { return editable_; }

    CRegisterGrid* Grid() const { return grid_; }

  public slots:
    void OnAdd();
    void OnDelete();
    void OnUp();
    void OnDown();
    void accept() override;

  private:
    // Names and addresses as GetRecord returns them.
    using Snapshot = std::vector<std::pair<std::string, std::string>>;

    void Load();
    void SwapWithNeighbour(int offset);
    void ShowUnreadable(RzResult result);
    // Writes the checked records under the file's lock; false when the operator declined to
    // overwrite a change made meanwhile or the write failed (reported).
    bool Write(const std::vector<CRegistryRecord>& records);

    std::string path_;
    Snapshot opened_;
    bool editable_ = true;
    int registeredCount_ = 0;
    std::vector<Dropped> dropped_;
    CRegisterGrid* grid_ = nullptr;
    QLabel* problem_ = nullptr;
    QToolButton* add_ = nullptr;
    QToolButton* delete_ = nullptr;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    QPushButton* ok_ = nullptr;
};
