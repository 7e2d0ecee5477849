#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "secrets/PasswordStore.h"

// The passwords the operator asked the console to remember: in the desktop's secret store, or,
// where there is none, in memory until the console closes (it asks once per session then).
// Every call returns at once; answers come later on the GUI thread, and not at all once the
// `context` of the call is gone.
class CPasswordKeeper : public QObject {
  public:
    explicit CPasswordKeeper(std::unique_ptr<IPasswordStore> secretStore);
    ~CPasswordKeeper() override;

    // The session's password for `key`, else the secret store's; nothing when neither has one
    // or the secret store cannot be read.
    void Recall(const CPasswordKey& key, QObject* context,
                std::function<void(std::optional<std::string>)> done);
    // Into the secret store; when it cannot take it, into the session's memory, and `done`
    // hears why (an empty reason: the secret store has it).
    void Keep(const CPasswordKey& key, const std::string& password, QObject* context,
              std::function<void(const QString& unavailable)> done);
    // Out of the session's memory and the secret store.
    void Forget(const CPasswordKey& key);

  private:
    std::unique_ptr<IPasswordStore> secretStore_;
    CMemoryPasswordStore session_;
};
