#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>

#include <fstream>

#include "ui/UiFixtures.h"
#include "app/model/shell/OnboardingViewModel.h"
#include "app/ui/design/MotionPreference.h"
#include "app/ui/widgets/CopyButton.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/shell/OnboardingView.h"
#include "app/ui/widgets/SecretField.h"
#include "crypto/CryptoError.h"

namespace vael {
namespace {

using testing::child;
using testing::ModelHarness;
using testing::spinUntil;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct OnboardingFixture {
    ModelHarness h;
    std::unique_ptr<OnboardingView> view;
    OnboardingFixture() {
        h.model->bootstrap();
        view.reset(OnboardingView::forModel(*h.model));
        view->show();
    }
    template <class T = QWidget>
    T* get(const char* name) {
        return child<T>(view.get(), name);
    }
    // Generate, then create with Return in the field, and wait for the recovery card.
    void createVault() {
        get<QPushButton>("onboarding.generate")->click();
        QTest::keyClick(get<QLineEdit>("onboarding.passphrase"), Qt::Key_Return);
        ASSERT_TRUE(spinUntil([&] { return view->model().recoveryCode().has_value(); }));
    }
};

TEST(OnboardingView, CreateCopyAcknowledgeContinueOpensTheVault) {
    OnboardingFixture f;
    auto* passphrase = f.get<QLineEdit>("onboarding.passphrase");
    auto* create = f.get<QPushButton>("onboarding.create");
    EXPECT_FALSE(create->isEnabled());
    EXPECT_TRUE(f.get<QCheckBox>("onboarding.escrow")->isChecked());
    EXPECT_FALSE(f.get("onboarding.generated")->isVisible());

    f.get<QPushButton>("onboarding.generate")->click();
    EXPECT_EQ(passphrase->text().size(), 39);
    EXPECT_EQ(f.get<SecretField>("onboarding.generated")->value(), passphrase->text());
    EXPECT_TRUE(f.get("onboarding.generated")->isVisible());
    EXPECT_TRUE(create->isEnabled());
    // One more character hides the generated box and keeps the field's text.
    QTest::keyClick(passphrase, Qt::Key_X);
    EXPECT_FALSE(f.get("onboarding.generated")->isVisible());
    EXPECT_EQ(passphrase->text().size(), 40);
    const QString used = passphrase->text();

    QTest::keyClick(passphrase, Qt::Key_Return);
    EXPECT_FALSE(create->isEnabled());  // while the creation runs, with its progress shown
    EXPECT_TRUE(f.get("onboarding.creating")->isVisible());
    EXPECT_FALSE(passphrase->isEnabled());
    ASSERT_TRUE(spinUntil([&] { return f.view->model().recoveryCode().has_value(); }));
    EXPECT_TRUE(f.get("onboarding.recoveryCard")->isVisible());
    EXPECT_FALSE(f.get("onboarding.createCard")->isVisible());
    EXPECT_TRUE(f.get("onboarding.escrowPhrase")->isVisible());

    auto* code = f.get<SecretField>("onboarding.recoveryCode");
    EXPECT_EQ(code->value(), *f.view->model().recoveryCode());
    code->copyButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), code->value());
    // A screen reader hears each secret itself, and the card's copy buttons by different names.
    auto* escrow = f.get<SecretField>("onboarding.escrowPhrase");
    for (auto* field : {code, escrow}) {
        const auto labels = field->findChildren<QLabel*>();
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](QLabel* label) {
            return label->accessibleName() == field->value() && !field->value().isEmpty();
        }));
    }
    EXPECT_EQ(escrow->copyButton()->accessibleName(), "Copy escrow phrase");
    EXPECT_EQ(escrow->copyButton()->toolTip(), "Copy");
    EXPECT_EQ(code->copyButton()->accessibleName(), "Copied");  // just clicked

    auto* next = f.get<QPushButton>("onboarding.continue");
    EXPECT_FALSE(next->isEnabled());
    QTest::keyClick(f.view.get(), Qt::Key_Return);  // not yet: nothing happens
    f.get<QCheckBox>("onboarding.acknowledge")->click();
    EXPECT_TRUE(next->isEnabled());
    next->click();
    EXPECT_FALSE(next->isEnabled());  // while the vault opens
    EXPECT_TRUE(f.get("onboarding.opening")->isVisible());
    ASSERT_TRUE(spinUntil([&] { return f.h.model->phase() == AppModel::Phase::unlocked; }));

    // The vault opens with the passphrase it was created with; no recovery material is stored.
    const std::string stored = readFile(f.h.home.paths().vaultConfig);
    EXPECT_FALSE(stored.empty());
    EXPECT_EQ(stored.find(code->value().toStdString()), std::string::npos);
    EXPECT_EQ(stored.find(f.get<SecretField>("onboarding.escrowPhrase")->value().toStdString()), std::string::npos);
    f.h.lock();
    f.h.unlock(used.toStdString());
    EXPECT_EQ(f.h.model->phase(), AppModel::Phase::unlocked);
}

// Under reduced motion the recovery card stands at once; with motion it rises into place over a
// moment and ends where its layout puts it, with its shadow.
TEST(OnboardingView, TheRecoveryCardComesInAtOnceUnderReducedMotion) {
    for (const bool reduce : {true, false}) {
        MotionPreference::ScopedPreference motion(reduce);
        OnboardingFixture f;
        f.createVault();
        auto* card = f.get("onboarding.recoveryCard");
        EXPECT_TRUE(card->isVisible()) << reduce;
        EXPECT_EQ(f.view->isSwappingCards(), !reduce);
        auto* stack = card->parentWidget();
        EXPECT_EQ(card->pos() != stack->contentsRect().topLeft(), !reduce);
        ASSERT_TRUE(spinUntil([&] { return !f.view->isSwappingCards(); }));
        // The card keeps its shadow through the swap.
        EXPECT_NE(qobject_cast<QGraphicsDropShadowEffect*>(card->graphicsEffect()), nullptr) << reduce;
        EXPECT_EQ(card->pos(), stack->contentsRect().topLeft()) << reduce;
    }
}

TEST(OnboardingView, ARefusedCompletionShowsTheModelsSentence) {
    OnboardingFixture f;
    f.createVault();
    // A data folder open to others is refused at the first file operation.
    ASSERT_EQ(::chmod(f.h.home.path().c_str(), 0755), 0);
    f.get<QCheckBox>("onboarding.acknowledge")->click();
    f.get<QPushButton>("onboarding.continue")->click();
    ASSERT_TRUE(spinUntil([&] { return f.h.model->errorMessage().has_value(); }));
    ASSERT_EQ(::chmod(f.h.home.path().c_str(), 0700), 0);
    const auto message = QString::fromStdString(*f.h.model->errorMessage());
    EXPECT_TRUE(message.startsWith("Could not create the vault: ")) << message.toStdString();
    EXPECT_EQ(f.get<ErrorLabel>("onboarding.error")->message(), message);
    EXPECT_EQ(f.h.model->phase(), AppModel::Phase::onboarding);
    EXPECT_TRUE(f.get<QPushButton>("onboarding.continue")->isEnabled());
    EXPECT_FALSE(f.get("onboarding.opening")->isVisible());
}

TEST(OnboardingView, AFailedCreationShowsASentenceAndCanBeRetried) {
    ModelHarness h;
    bool fail = true;
    auto* vm = new OnboardingViewModel([] { return std::string("GEN"); },
                                       [&](const SecureBytes& passphrase, bool escrow) {
                                           if (fail)
                                               throw VaelCryptoError(VaelCryptoError::Code::Internal, "out of memory");
                                           return VaultCrypto::createVault(passphrase, escrow, testing::kFastCost);
                                       });
    OnboardingView view(*h.model, vm, [](const NewVault&, const QString&) {});
    view.show();
    QTest::keyClicks(child<QLineEdit>(&view, "onboarding.passphrase"), "   ");
    child<QPushButton>(&view, "onboarding.create")->click();
    ASSERT_TRUE(spinUntil([&] { return h.model->errorMessage().has_value(); }));
    EXPECT_EQ(child<ErrorLabel>(&view, "onboarding.error")->message(), "Could not create the vault: out of memory");
    EXPECT_TRUE(child<QPushButton>(&view, "onboarding.create")->isEnabled());

    fail = false;
    child<QPushButton>(&view, "onboarding.create")->click();
    ASSERT_TRUE(spinUntil([&] { return vm->recoveryCode().has_value(); }));
    EXPECT_FALSE(h.model->errorMessage());
}

}  // namespace
}  // namespace vael
