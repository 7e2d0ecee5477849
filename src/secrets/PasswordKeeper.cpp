#include "secrets/PasswordKeeper.h"

#include <QPointer>

CPasswordKeeper::CPasswordKeeper(std::unique_ptr<IPasswordStore> secretStore)
    : secretStore_(std::move(secretStore)) {}

CPasswordKeeper::~CPasswordKeeper() = default;

void CPasswordKeeper::Recall(const CPasswordKey& key, QObject* context,
                             std::function<void(std::optional<std::string>)> done) {
    session_.Read(key, [this, key, guard = QPointer<QObject>(context),
                        done = std::move(done)](const CSecretOutcome& inSession) {
        if (!guard) {
            return;
        }
        if (inSession.kind == CSecretOutcome::kDone) {
            done(inSession.password);
            return;
        }
        secretStore_->Read(key, [guard, done](const CSecretOutcome& stored) {
            if (guard) {
                done(stored.kind == CSecretOutcome::kDone ? std::optional(stored.password)
                                                          : std::nullopt);
            }
        });
    });
}

void CPasswordKeeper::Keep(const CPasswordKey& key, const std::string& password, QObject* context,
                           std::function<void(const QString&)> done) {
    session_.Remove(key, {});
    secretStore_->Write(
        key, password,
        [this, key, password, guard = QPointer<QObject>(context),
         done = std::move(done)](const CSecretOutcome& outcome) {
            if (outcome.kind != CSecretOutcome::kDone) {
                session_.Write(key, password, {});
            }
            if (guard && done) {
                done(outcome.kind == CSecretOutcome::kDone ? QString() : outcome.reason);
            }
        });
}

void CPasswordKeeper::Forget(const CPasswordKey& key) {
    session_.Remove(key, {});
    secretStore_->Remove(key, {});
}
