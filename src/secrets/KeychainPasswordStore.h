#pragma once

#include "secrets/PasswordStore.h"

// The desktop's secret store (the Secret Service, or KWallet on Plasma) through QtKeychain.
// Each password is an entry of service "rz-operator/NAME" (the registered name) and key
// "USER@ADDRESS". Calls run as QtKeychain jobs: they return at once and their finished signal
// reports on the GUI thread. Without a secret store every call reports kUnavailable; QtKeychain's
// fallback to a plain-text file is never used.
class CKeychainPasswordStore : public QObject, public IPasswordStore {
  public:
    void Read(const CPasswordKey& key, SecretDone done) override;
    void Write(const CPasswordKey& key, const std::string& password, SecretDone done) override;
    void Remove(const CPasswordKey& key, SecretDone done) override;
};
