#include "app/model/items/SSHKeySheetModel.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <pwd.h>
#include <unistd.h>

#include <exception>

#include "app/agent/ops/AgentText.h"
#include "app/items/Graphemes.h"
#include "app/model/items/AccessTierViewModel.h"
#include "app/model/AppModel.h"

namespace vael {

namespace {

SecureBytes utf8Bytes(const QString& text) {
    QByteArray bytes = text.toUtf8();
    SecureBytes secure(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
    sodium_memzero(bytes.data(), static_cast<std::size_t>(bytes.size()));
    return secure;
}

std::string_view view(const SecureBytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

QString quoted(const QString& text) { return QStringLiteral("\u201C%1\u201D").arg(text); }

}  // namespace

SSHKeySheetModel::SSHKeySheetModel(AppModel& app, QObject* parent) : QObject(parent), app_(app) {}

SSHKeySheetModel::~SSHKeySheetModel() = default;

void SSHKeySheetModel::setName(const QString& name) {
    if (name == name_) return;
    name_ = name;
    emit nameChanged();
    updateFormValid();
}

void SSHKeySheetModel::setKeyType(SSHKeyType type) {
    if (type == keyType_) return;
    keyType_ = type;
    emit keyTypeChanged();
}

void SSHKeySheetModel::setPassphrase(const QString& passphrase) {
    passphrase_ = utf8Bytes(passphrase);
    updateFormValid();
}

void SSHKeySheetModel::setPassphraseConfirm(const QString& confirmation) {
    passphraseConfirm_ = utf8Bytes(confirmation);
    updateFormValid();
}

void SSHKeySheetModel::setTierID(const QString& id) {
    if (id == tierID_ || !AccessTierViewModel::isTier(id.toStdString())) return;
    tierID_ = id;
    emit tierIDChanged();
}

bool SSHKeySheetModel::formValid() const { return formValid_; }

void SSHKeySheetModel::updateFormValid() {
    const bool nameGiven = !trimmedName().isEmpty();
    const bool passphraseFits = passphrase_.empty() || graphemeCount(view(passphrase_)) >= kMinimumPassphraseLength;
    const bool confirmed = view(passphrase_) == view(passphraseConfirm_);
    const bool valid = nameGiven && passphraseFits && confirmed;
    if (valid == formValid_) return;
    formValid_ = valid;
    emit formValidChanged();
}

QString SSHKeySheetModel::trimmedName() const { return QString::fromStdString(trimBlanks(name_.toStdString())); }

QString SSHKeySheetModel::keyFileName() const {
    return QString::fromStdString(SSHKeyGenerator::suggestedFilename(trimmedName().toStdString()));
}

QString SSHKeySheetModel::storedLine() const {
    return quoted(trimmedName()) + QStringLiteral(" is stored in your vault \u2014 the private key encrypted, the public key open.");
}

QString SSHKeySheetModel::installCaption() const {
    const auto file = keyFileName();
    return QStringLiteral("Writes %1 and %1.pub with SSH-safe permissions into a folder you choose.").arg(file);
}

QString SSHKeySheetModel::installPanelMessage() const {
    const auto file = keyFileName();
    return QStringLiteral("Choose the folder for %1 and %1.pub (usually ~/.ssh).").arg(file);
}

QCoro::Task<> SSHKeySheetModel::generate() {
    if (!formValid_ || busy_ || generated_) co_return;
    QPointer<SSHKeySheetModel> self(this);
    setBusy(true);
    setError(std::nullopt);
    std::optional<SSHKeyPair> pair;
    std::exception_ptr failure;
    try {
        auto creating = app_.createSSHKey(trimmedName().toStdString(), keyType_, passphrase_, tierID_.toStdString());
        pair = co_await creating;
    } catch (...) {
        failure = std::current_exception();
    }
    // Closing the sheet does not stop the operation; only its answer has nowhere to go.
    if (!self) co_return;
    if (pair) {
        generated_ = std::move(pair);
        emit generatedChanged();
    } else {
        try {
            std::rethrow_exception(failure);
        } catch (const SSHKeyError& error) {
            setError(error.what());
        } catch (...) {
            setError(std::string(kGenerateFailed));
        }
    }
    setBusy(false);
}

QString SSHKeySheetModel::realHome() {
    QString home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        home = QString::fromLocal8Bit(entry->pw_dir);
    }
    if (home.isEmpty()) home = QDir::homePath();
    while (home.size() > 1 && home.endsWith('/')) home.chop(1);
    return home;
}

QString SSHKeySheetModel::installStartFolder() {
    const auto home = realHome();
    const auto ssh = home + QStringLiteral("/.ssh");
    return QFileInfo(ssh).isDir() ? ssh : home;
}

QString SSHKeySheetModel::homeRelative(QString path, QString home) {
    while (home.endsWith('/')) home.chop(1);
    // A home of "/" (or none) would turn every separator into "~".
    if (home.isEmpty()) return path;
    // Only whole folder names: the home "/home/al" is no part of "/home/alice".
    for (qsizetype at = path.indexOf(home); at >= 0; at = path.indexOf(home, at)) {
        const auto end = at + home.size();
        if (end == path.size() || path[end] == '/') {
            path.replace(at, home.size(), QStringLiteral("~"));
            at += 1;
        } else {
            at = end;
        }
    }
    return path;
}

void SSHKeySheetModel::install(const std::optional<QString>& folder) {
    setError(std::nullopt);
    if (!generated_ || !folder || folder->isEmpty()) return;
    try {
        const auto written = SSHKeyGenerator::install(*generated_, keyFileName().toStdString(), folder->toStdString());
        installedPath_ = homeRelative(QString::fromStdString(written.string()), realHome());
        emit installedPathChanged();
    } catch (const SSHKeyError& error) {
        setError(error.what());
    } catch (...) {
        setError(std::string(kInstallFailed));
    }
}

void SSHKeySheetModel::setError(std::optional<std::string> error) {
    if (error == error_) return;
    error_ = std::move(error);
    emit errorChanged();
}

void SSHKeySheetModel::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    emit busyChanged();
}

}  // namespace vael
