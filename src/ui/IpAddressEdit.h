#pragma once

#include <QLineEdit>
#include <QValidator>
#include <array>

// An IPv4 address as four parts of 0 to 255 separated by dots. While typing, a part may be
// empty and fewer than four parts may be present; a part that is empty or missing reads as 0.
class CIpAddressValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// The four parts of an address typed or shown in the form CIpAddressValidator accepts; blanks
// are ignored, an empty or missing part is 0. Text the validator would refuse gives all zeros.
std::array<int, 4> IpAddressParts(const QString& text);

// A line edit that accepts only IPv4 addresses. A digit typed after a full part (three digits,
// or one that the digit would take past 255) starts the next part, and a dot typed where the
// part is still empty is ignored, as the address controls of other platforms do.
class CIpAddressEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit CIpAddressEdit(QWidget* parent = nullptr);

    std::array<int, 4> Parts() const { return IpAddressParts(text()); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};
