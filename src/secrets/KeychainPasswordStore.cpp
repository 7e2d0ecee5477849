#include "secrets/KeychainPasswordStore.h"

#include <qt6keychain/keychain.h>

namespace {

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString Service(const CPasswordKey& key) {
    return QStringLiteral("rz-operator/") + Latin1(key.instrument);
}

// Sets the job up and reports its end to `done`, unless `store` is gone by then.
void Run(QKeychain::Job* job, const CPasswordKey& key, QObject* store, SecretDone done) {
    job->setKey(Latin1(key.user) + u'@' + Latin1(key.address));
    // Never the plain-text file QtKeychain would otherwise fall back to.
    job->setInsecureFallback(false);
    job->setAutoDelete(true);
    QObject::connect(
        job, &QKeychain::Job::finished, store, [done = std::move(done)](QKeychain::Job* finished) {
            CSecretOutcome outcome;
            switch (finished->error()) {
                case QKeychain::NoError:
                    if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished)) {
                        const QByteArray bytes = read->textData().toLatin1();
                        outcome.password.assign(bytes.constData(),
                                                static_cast<size_t>(bytes.size()));
                    }
                    break;
                case QKeychain::EntryNotFound:
                    outcome.kind = CSecretOutcome::kNotFound;
                    break;
                default:
                    outcome.kind = CSecretOutcome::kUnavailable;
                    outcome.reason = finished->errorString();
                    break;
            }
            if (done) {
                done(outcome);
            }
        });
    job->start();
}

}  // namespace

void CKeychainPasswordStore::Read(const CPasswordKey& key, SecretDone done) {
    Run(new QKeychain::ReadPasswordJob(Service(key)), key, this, std::move(done));
}

void CKeychainPasswordStore::Write(const CPasswordKey& key, const std::string& password,
                                   SecretDone done) {
    auto* job = new QKeychain::WritePasswordJob(Service(key));
    job->setTextData(Latin1(password));
    Run(job, key, this, std::move(done));
}

void CKeychainPasswordStore::Remove(const CPasswordKey& key, SecretDone done) {
    Run(new QKeychain::DeletePasswordJob(Service(key)), key, this, std::move(done));
}
