#pragma once

#include <QObject>
#include <QString>
#include <compare>
#include <functional>
#include <map>
#include <string>

// Whose password: the registered instrument, the address it was used with and the user. A new
// address under the same name (an instrument registered anew) never receives an old password.
struct CPasswordKey {
    std::string instrument;
    std::string address;
    std::string user;
    auto operator<=>(const CPasswordKey&) const = default;
};

// How a call to a password store ended.
struct CSecretOutcome {
    enum Kind { kDone, kNotFound, kUnavailable };
    Kind kind = kDone;
    std::string password;  // what a read found
    QString reason;        // why the store could not be used
};
using SecretDone = std::function<void(const CSecretOutcome&)>;

// A store of passwords. Every call returns at once and reports through `done` later, from the
// event loop of the thread that made the call, and never after the store is destroyed.
class IPasswordStore {
  public:
    virtual ~IPasswordStore() = default;
    virtual void Read(const CPasswordKey& key, SecretDone done) = 0;
    virtual void Write(const CPasswordKey& key, const std::string& password, SecretDone done) = 0;
    virtual void Remove(const CPasswordKey& key, SecretDone done) = 0;
};

// Passwords in this process's memory, never written anywhere. An unavailable one stands for a
// desktop without a secret store: every call reports kUnavailable.
class CMemoryPasswordStore : public QObject, public IPasswordStore {
  public:
    explicit CMemoryPasswordStore(bool available = true) : available_(available) {}

    void Read(const CPasswordKey& key, SecretDone done) override;
    void Write(const CPasswordKey& key, const std::string& password, SecretDone done) override;
    void Remove(const CPasswordKey& key, SecretDone done) override;

    size_t Count() const { return passwords_.size(); }

  private:
    void Report(SecretDone done, CSecretOutcome outcome);

    bool available_;
    std::map<CPasswordKey, std::string> passwords_;
};
