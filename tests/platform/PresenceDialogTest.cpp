#include "app/platform/PresenceDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
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
            auto* label = dialog->findChild<QLabel*>(QStringLiteral("reasonLabel"));
            shown = label->text();
            plainText = label->textFormat() == Qt::PlainText;
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
