// Draws the README's picture of the vault window: the real main window over a sample vault in a
// throw-away folder, grabbed offscreen. Run by tools/readme-screenshot.sh.

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QTreeView>

#include <cstdio>

#include "app/model/AppModel.h"
#include "app/model/StoreItemSourceFactory.h"
#include "app/model/window/VaultWindowModel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ScreenFactory.h"
#include "app/ui/window/VaultScreen.h"

using namespace vael;

namespace {

class RefusingGate final : public BiometricGate {
public:
    bool authenticate(const std::string&) override { return false; }
};

void pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

template <class T>
T await(QCoro::Task<T> task) {
    return QCoro::waitFor(std::move(task));
}

ItemField field(std::string label, ItemField::Kind kind, std::string value, bool concealed) {
    return ItemField{std::move(label), kind, std::move(value), concealed};
}

Uuid addItem(AppModel& app, std::string name, std::vector<ItemField> fields, std::string tier, std::optional<Uuid> group,
             std::optional<std::string> url = std::nullopt) {
    ItemPayload payload;
    payload.name = std::move(name);
    payload.fields = std::move(fields);
    payload.url = std::move(url);
    return await(app.addItem(std::move(payload), "login", std::move(tier), group));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    qputenv("VAEL_REDUCE_MOTION", "1");
    QApplication application(argc, argv);
    QTemporaryDir home;
    const std::string folder = home.path().toStdString();
    AppModelServices services;
    services.biometric = std::make_shared<RefusingGate>();
    services.makeItemSource = storeItemSourceFactory();
    services.passphraseCost = Argon2Cost{1, 8192};  // a sample vault: no need for the real cost
    AppModel app(VaelPaths(folder + "/vault.json", folder + "/replica.sqlite", folder + "/vael.sock"), std::move(services));

    const SecureBytes passphrase(std::string_view("sample passphrase for the picture"));
    await(app.completeOnboarding(VaultCrypto::createVault(passphrase, false, Argon2Cost{1, 8192}), passphrase));
    if (!app.hasSession()) {
        std::fprintf(stderr, "could not open the sample vault\n");
        return 1;
    }

    // The sample: a work project with nested groups, and personal items across the three tiers.
    const auto work = *await(app.createProject("Acme Platform"));
    const auto infra = *await(app.createGroup("Infrastructure", work, std::nullopt));
    const auto ci = *await(app.createGroup("CI", work, infra));
    const auto personal = AppModel::localCollectionID();
    const auto password = ItemField::Kind::password;
    const auto secret = ItemField::Kind::token;
    addItem(app, "GitHub", {field("token", secret, "ghp_sample", true)}, "injectable", ci, "https://github.com");
    addItem(app, "OpenAI API", {field("api key", secret, "sk-sample", true)}, "injectable", infra);
    addItem(app, "Postgres (staging)", {field("password", password, "sample", true)}, "human_gated", infra);
    addItem(app, "AWS root", {field("password", password, "sample", true)}, "ai_hidden", infra);
    const auto bank = addItem(app, "Bank", {field("username", ItemField::Kind::username, "sam", false),
                                             field("password", password, "sample", true)},
                              "human_gated", personal, "https://bank.example");
    addItem(app, "Diary", {field("notes", secret, "sample", true)}, "ai_hidden", personal);
    addItem(app, "Stripe", {field("secret key", secret, "sk_test_sample", true),
                            field("2fa", ItemField::Kind::otp, "JBSWY3DPEHPK3PXP", true)},
            "injectable", personal);

    ScreenFactory screens(app);
    MainWindow window(app, screens, /*hasTray=*/true);
    window.show();
    pump(300);
    auto* vault = qobject_cast<VaultScreen*>(window.page());
    if (!vault) {
        std::fprintf(stderr, "the vault window did not open\n");
        return 1;
    }
    // The design's size, whatever the offscreen screen's.
    window.resize(MainWindow::kDefaultSize);
    // The sidebar starts closed; the picture opens the one project, as a user would.
    for (auto* tree : vault->findChildren<QTreeView*>()) {
        for (const auto& at : tree->model()->match(tree->model()->index(0, 0), Qt::DisplayRole, "Acme Platform", 1,
                                                   Qt::MatchExactly | Qt::MatchRecursive))
            tree->setExpanded(at, true);
    }
    pump(300);
    vault->window().setSelectedItemID(bank);
    pump(700);
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    QCoro::waitFor(app.lock());
    pump(100);
    return 0;
}
