#pragma once

#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "platform/Strings.h"
#include "registry/InstrumentRegistry.h"

// The Register dialog's rules, apart from its widgets.

constexpr int kMaxRegisterRows = 50;  // Add refuses a 51st row; a longer file is still shown
constexpr int kRegisterCellChars = 15;
constexpr int kRowsWithoutScrollBar = 12;

// The address cell as the registry file holds it: each part right-aligned in three characters
// ("%3d.%3d.%3d.%3d"); all four parts zero is the empty address "   .   .   .   ".
QString IpCellText(const std::array<int, 4>& parts);
extern const QString kEmptyIpCell;

// A committed cell text is cut to 15 characters.
QString CutCellText(const QString& text);

struct RegisterRow {
    QString name;
    QString ip;  // the address cell's text
};

// What OK makes of the rows: the records to write, or the first refusal (kRegisterNameMissing,
// kRegisterAddressInvalid, kRegisterNameTwice) with its 1-based row.
struct RegisterCheck {
    std::optional<RzStr> refusal;
    int row = 0;
    std::vector<CRegistryRecord> records;

    bool ok() const { return !refusal; }
    // The refusal's text from the string table, with the row number filled in.
    QString Message() const;
};

// Rows with an empty name and an empty address are skipped. Names are kept as typed (a name of
// blanks is refused), but two names that differ only by trailing blanks count as the same,
// since the log-in list and the address lookup cannot tell them apart.
RegisterCheck CheckRegisterRows(const std::vector<RegisterRow>& rows);

// Widths of the row-number, name and address columns for a grid `gridWidth` pixels wide inside
// its frame: the address column leaves room for the vertical scroll bar once more rows are
// present than the grid shows.
std::array<int, 3> RegisterColumnWidths(int gridWidth, int rowCount, int scrollBarWidth);
