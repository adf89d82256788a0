#include "app/platform/PresenceDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <future>

// fontconfig keeps a cache for the life of the process; it is not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace vael {
namespace {

QApplication& application() {
    qputenv("QT_QPA_PLATFORM", "offscreen");  // never a window on a real desktop
    static int argc = 1;
    static char name[] = "platform_dialog_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Clicks the named button of the prompt as soon as it is up; remembers the reason it showed.
class Answerer {
public:
    explicit Answerer(const char* button) : button_(button) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = dynamic_cast<PresenceDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            auto* text = dialog->findChild<QTextEdit*>(QStringLiteral("reasonText"));
            shown = text->toPlainText();
            plainText = !text->acceptRichText() && text->toHtml().contains(QStringLiteral("&lt;b&gt;"));
            dialog->findChild<QPushButton*>(QString::fromLatin1(button_))->click();
            timer_.stop();
        });
        timer_.start(0);
    }
    QString shown;
    bool plainText = false;

private:
    const char* button_;
    QTimer timer_;
};

TEST(PresenceDialog, ShowsTheReasonAsPlainTextAndAnswersTheButton) {
    application();
    DialogPresencePrompt prompt;
    {
        Answerer answerer("continueButton");
        EXPECT_TRUE(prompt.ask("Use <b>Mail</b> for agent \"claude\""));
        EXPECT_EQ(answerer.shown, QStringLiteral("Use <b>Mail</b> for agent \"claude\""));
        EXPECT_TRUE(answerer.plainText);
    }
    {
        Answerer answerer("cancelButton");
        EXPECT_FALSE(prompt.ask("Delete the group"));
    }
}

// The dialog with a clock the test moves.
struct GuardedDialog {
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    PresenceDialog dialog{QStringLiteral("Delete Mail from Vael"), nullptr, [this] { return now; }};
    QPushButton* button(const char* name) { return dialog.findChild<QPushButton*>(QString::fromLatin1(name)); }
    void press(Qt::Key key) { QTest::keyClick(dialog.focusWidget(), key); }
};

TEST(PresenceDialog, NoKeyApprovesItByChance) {
    application();
    GuardedDialog g;
    g.dialog.show();
    auto* cancel = g.button("cancelButton");
    auto* proceed = g.button("continueButton");
    EXPECT_EQ(g.dialog.focusWidget(), cancel);
    for (auto* button : {cancel, proceed}) {
        EXPECT_FALSE(button->isDefault());
        EXPECT_FALSE(button->autoDefault());
    }
    EXPECT_TRUE(cancel->icon().isNull());  // a neutral button, no stop symbol

    // Keys meant for another window, in the prompt's first second: nothing happens.
    g.now += std::chrono::milliseconds(900);
    for (auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) g.press(key);
    EXPECT_TRUE(g.dialog.isVisible());
    EXPECT_EQ(g.dialog.result(), 0);

    // Return never answers; Tab to "Continue", then Space does.
    g.now += std::chrono::milliseconds(200);
    g.press(Qt::Key_Return);
    EXPECT_TRUE(g.dialog.isVisible());
    g.press(Qt::Key_Tab);
    EXPECT_EQ(g.dialog.focusWidget(), proceed);
    g.press(Qt::Key_Return);
    EXPECT_TRUE(g.dialog.isVisible());
    g.press(Qt::Key_Space);
    EXPECT_FALSE(g.dialog.isVisible());
    EXPECT_EQ(g.dialog.result(), QDialog::Accepted);
}

TEST(PresenceDialog, SpaceOnCancelAfterTheGuardCancels) {
    application();
    GuardedDialog g;
    g.dialog.show();
    g.press(Qt::Key_Space);
    EXPECT_TRUE(g.dialog.isVisible());
    g.now += PresenceDialog::kKeyGuard;
    g.press(Qt::Key_Space);
    EXPECT_FALSE(g.dialog.isVisible());
    EXPECT_EQ(g.dialog.result(), QDialog::Rejected);
}

TEST(PresenceDialog, AVeryLongReasonKeepsTheButtonsInView) {
    application();
    const QFont original = QApplication::font();
    for (int points : {10, 14, 16}) {
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
        const QString name = QString(10800, QLatin1Char('W'));
        PresenceDialog dialog(QStringLiteral("Delete ") + name + QStringLiteral(" from Vael"));
        dialog.show();
        QCoreApplication::processEvents();
        auto* text = dialog.findChild<QTextEdit*>(QStringLiteral("reasonText"));
        EXPECT_EQ(text->toPlainText().size(), name.size() + 17);  // all of it, scrolling inside
        EXPECT_LE(text->height(), text->fontMetrics().lineSpacing() * 9);
        EXPECT_LE(dialog.width(), text->fontMetrics().averageCharWidth() * 80) << points;
        for (const char* name : {"cancelButton", "continueButton"}) {
            auto* button = dialog.findChild<QPushButton*>(QString::fromLatin1(name));
            const QRect shown(button->mapTo(&dialog, QPoint(0, 0)), button->size());
            EXPECT_TRUE(dialog.rect().contains(shown)) << name << " at " << points << " pt";
        }
        if (const auto folder = qEnvironmentVariable("VAEL_UI_SNAPSHOTS"); !folder.isEmpty()) {
            dialog.grab().save(QStringLiteral("%1/presence-long-%2pt.png").arg(folder).arg(points));
            PresenceDialog usual(QStringLiteral("Delete Mail from Vael"));
            QPalette dark;
            dark.setColor(QPalette::Window, QColor(40, 40, 40));
            dark.setColor(QPalette::WindowText, Qt::white);
            dark.setColor(QPalette::Button, QColor(60, 60, 60));
            dark.setColor(QPalette::ButtonText, Qt::white);
            dark.setColor(QPalette::Text, Qt::white);
            dark.setColor(QPalette::Base, QColor(30, 30, 30));
            usual.setPalette(dark);
            usual.show();
            QCoreApplication::processEvents();
            usual.grab().save(QStringLiteral("%1/presence-dark-%2pt.png").arg(folder).arg(points));
        }
    }
    QApplication::setFont(original);
}

TEST(PresenceDialog, AsksOnTheInterfaceThreadForAWorker) {
    application();
    DialogPresencePrompt prompt;
    Answerer answerer("continueButton");
    auto answer = std::async(std::launch::async, [&] { return prompt.ask("from a worker"); });
    while (answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    EXPECT_TRUE(answer.get());
    EXPECT_EQ(answerer.shown, QStringLiteral("from a worker"));
}

TEST(PresenceDialog, WithoutAWidgetApplicationTheAnswerIsNo) {
    // Checked before any application exists in this process.
    if (QCoreApplication::instance() != nullptr) GTEST_SKIP() << "an application already exists in this run";
    EXPECT_FALSE(DialogPresencePrompt().ask("anything"));
}

}  // namespace
}  // namespace vael
