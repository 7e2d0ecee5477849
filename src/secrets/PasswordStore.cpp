#include "secrets/PasswordStore.h"

#include <QTimer>

void CMemoryPasswordStore::Report(SecretDone done, CSecretOutcome outcome) {
    if (!available_) {
        outcome = {CSecretOutcome::kUnavailable, {}, QStringLiteral("no secret store")};
    }
    // Later, as a secret store answers, so that callers never rely on an answer within the call.
    QTimer::singleShot(0, this, [done = std::move(done), outcome = std::move(outcome)] {
        if (done) {
            done(outcome);
        }
    });
}

void CMemoryPasswordStore::Read(const CPasswordKey& key, SecretDone done) {
    const auto found = available_ ? passwords_.find(key) : passwords_.end();
    Report(std::move(done), found == passwords_.end()
                                ? CSecretOutcome{CSecretOutcome::kNotFound, {}, {}}
                                : CSecretOutcome{CSecretOutcome::kDone, found->second, {}});
}

void CMemoryPasswordStore::Write(const CPasswordKey& key, const std::string& password,
                                 SecretDone done) {
    if (available_) {
        passwords_[key] = password;
    }
    Report(std::move(done), {});
}

void CMemoryPasswordStore::Remove(const CPasswordKey& key, SecretDone done) {
    passwords_.erase(key);
    Report(std::move(done), {});
}
