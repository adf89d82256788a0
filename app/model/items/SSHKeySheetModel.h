#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

#include <qcoro/qcorotask.h>

#include "app/platform/SSHKeyGenerator.h"
#include "core/SecureBytes.h"

namespace vael {

class AppModel;

// The SSH key sheet's state: the form, then the pair generated and stored as a vault item, then its
// installation as two key files into a folder the user picks (the sheet asks for the folder).
class SSHKeySheetModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(vael::SSHKeyType keyType READ keyType WRITE setKeyType NOTIFY keyTypeChanged)
    Q_PROPERTY(QString tierID READ tierID WRITE setTierID NOTIFY tierIDChanged)
    Q_PROPERTY(bool formValid READ formValid NOTIFY formValidChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(std::optional<std::string> error READ error NOTIFY errorChanged)
    Q_PROPERTY(std::optional<vael::SSHKeyPair> generated READ generated NOTIFY generatedChanged)
    Q_PROPERTY(std::optional<QString> installedPath READ installedPath NOTIFY installedPathChanged)

public:
    static constexpr std::string_view kGenerateFailed = "Couldn't generate the key. Please try again.";
    static constexpr std::string_view kInstallFailed = "Couldn't write the key files.";
    static constexpr int kMinimumPassphraseLength = 5;  // ssh-keygen's own minimum

    explicit SSHKeySheetModel(AppModel& app, QObject* parent = nullptr);
    ~SSHKeySheetModel() override;

    const QString& name() const { return name_; }
    void setName(const QString& name);
    SSHKeyType keyType() const { return keyType_; }
    void setKeyType(SSHKeyType type);
    // Held as UTF-8 bytes that wipe themselves.
    void setPassphrase(const QString& passphrase);
    void setPassphraseConfirm(const QString& confirmation);
    const QString& tierID() const { return tierID_; }
    void setTierID(const QString& id);

    // A name left after trimming spaces and tabs; a passphrase empty or of at least five characters;
    // the confirmation exactly the passphrase.
    bool formValid() const;
    bool busy() const { return busy_; }
    const std::optional<std::string>& error() const { return error_; }
    const std::optional<SSHKeyPair>& generated() const { return generated_; }
    const std::optional<QString>& installedPath() const { return installedPath_; }

    QString trimmedName() const;
    // The key file name F for the trimmed name, and the texts that name it.
    QString keyFileName() const;
    QString storedLine() const;
    QString installCaption() const;
    QString installPanelMessage() const;

    // Generates and stores the pair. Stops quietly when this model is gone; the item is still stored.
    QCoro::Task<> generate();

    // The user's home from the user database, else the process's home; no trailing separator.
    static QString realHome();
    // Where the folder panel opens: the home's ".ssh" when it exists, else the home.
    static QString installStartFolder();
    // Every occurrence of `home` that ends at a folder boundary replaced by "~".
    static QString homeRelative(QString path, QString home);
    // Writes the pair into the chosen folder; nothing when the panel was cancelled.
    void install(const std::optional<QString>& folder);

signals:
    void nameChanged();
    void keyTypeChanged();
    void tierIDChanged();
    void formValidChanged();
    void busyChanged();
    void errorChanged();
    void generatedChanged();
    void installedPathChanged();

private:
    void setError(std::optional<std::string> error);
    void setBusy(bool busy);
    void updateFormValid();

    AppModel& app_;
    QString name_;
    SSHKeyType keyType_ = SSHKeyType::ed25519;
    SecureBytes passphrase_;
    SecureBytes passphraseConfirm_;
    QString tierID_ = QStringLiteral("human_gated");
    bool formValid_ = false;
    bool busy_ = false;
    std::optional<std::string> error_;
    std::optional<SSHKeyPair> generated_;
    std::optional<QString> installedPath_;
};

}  // namespace vael
