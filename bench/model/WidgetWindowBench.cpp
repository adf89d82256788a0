// The real window (MainWindow, VaultScreen and their widgets over the real AppModel and a real replica,
// QT_QPA_PLATFORM=offscreen) at 100, 1,000 and 10,000 items: "Add Item" to its row drawn, a key typed
// in the search field to the list drawn, unlock to the list drawn beside the key derivation with the
// longest main-thread stall (a zero-interval timer on the event loop), agents' secret_create over the
// real socket from a process of their own while the window and the tray's codes panel follow the
// vault, and resident memory after a burst of agent writes with periodic locks. Server calls go to a
// scripted API. Each figure is printed beside its goal; run it several times for the spread.
//
//   ui_window_bench [add|search|unlock|agent|memory] [seconds for memory, default 180]

#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/model/WindowBenchSupport.h"
#include "model/ItemFixtures.h"
#include "app/model/StoreItemSourceFactory.h"
#include "app/model/window/AddItemSheetModel.h"
#include "app/model/window/VaultWindowModel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ScreenFactory.h"
#include "app/ui/items/MenuBarCodesView.h"
#include "app/ui/window/AddItemSheet.h"
#include "app/ui/window/VaultScreen.h"
#include "core/Memory.h"

extern char** environ;

namespace {

using namespace vael;
namespace fx = vael::testing;
using namespace vael::windowbench;
using Clock = vael::windowbench::Clock;  // not vael::Clock, the injected wall clock

std::string g_binDir;


// Runs the event loop until `done`; a wait that never ends stops the bench with a message rather
// than hanging it.
void runUntil(const std::function<bool()>& done) {
    if (done()) return;
    const auto giveUp = Clock::now() + std::chrono::minutes(2);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
        if (Clock::now() >= giveUp) {
            std::fprintf(stderr, "ui_window_bench: a wait did not end within 2 minutes\n");
            std::_Exit(1);
        }
    });
    poll.start(1);
    loop.exec();
}
void runFor(std::chrono::milliseconds span) {
    const auto end = Clock::now() + span;
    runUntil([&] { return Clock::now() >= end; });
}


// When a widget last painted.
class PaintWatch : public QObject {
public:
    Clock::time_point last{};
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) last = Clock::now();
        return false;
    }
};

// The application as main() builds it, with the live item source behind the socket and no tray
// (the codes panel is made and shown beside it where asked).
struct App {
    fx::TempHome home;
    std::shared_ptr<fx::RecordingSyncAPI> api = std::make_shared<fx::RecordingSyncAPI>();
    std::vector<ItemSourceContext> contexts;
    std::unique_ptr<AppModel> m;
    std::unique_ptr<ScreenFactory> screens;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MenuBarCodesView> codes;
    int added = 0;

    explicit App(bool realKDF, bool withCodes = false) {
        AppModelServices s;
        s.syncAPI = api;
        s.bootstrapAPI = std::make_shared<fx::AcceptingBootstrapAPI>();
        s.biometric = std::make_shared<fx::AllowingGate>();
        auto live = storeItemSourceFactory();
        s.makeItemSource = [this, live](const ItemSourceContext& context) {
            contexts.push_back(context);
            return live(context);
        };
        s.syncPause = std::make_shared<fx::NoPause>();
        s.passphraseCost = realKDF ? Argon2Cost::standard() : fx::kFastCost;
        m = std::make_unique<AppModel>(home.paths(), std::move(s));
        screens = std::make_unique<ScreenFactory>(*m);
        window = std::make_unique<MainWindow>(*m, *screens, /*hasTray=*/false);
        window->show();
        fx::settle();
        const SecureBytes pass{std::string_view(fx::kPassphrase)};
        fx::await(m->completeOnboarding(
            realKDF ? VaultCrypto::createVault(pass, false, Argon2Cost::standard()) : fx::ModelHarness::sharedVault(),
            SecureBytes(std::string_view(fx::kPassphrase))));
        if (withCodes) {
            codes = std::make_unique<MenuBarCodesView>(*m);
            codes->show();
        }
        runUntil([&] { return screen() != nullptr; });
        fx::settle();
    }
    ~App() {
        codes.reset();
        fx::await(m->lock());
        fx::settle();
        window.reset();
        screens.reset();
        m.reset();
        fx::settle();
    }

    VaultScreen* screen() const { return qobject_cast<VaultScreen*>(window->page()); }
    QListView* list() const { return screen() ? screen()->findChild<QListView*>("itemList") : nullptr; }
    VaelStore& store() { return *contexts.back().store; }
    const CollectionKey& key() { return contexts.back().defaultCollectionKey; }
    bool shows(const Uuid& id) const {
        if (!screen()) return false;
        const auto& rows = screen()->window().rows();
        return std::any_of(rows.begin(), rows.end(), [&](const auto& row) { return row.id == id; });
    }
    std::size_t rowCount() const { return screen() ? screen()->window().rows().size() : 0; }

    ItemRecord record(int n) { return sampleItem(*m->vault(), key(), n); }
    void fill(int count) {
        while (added < count) {
            std::vector<ItemRecord> batch;
            for (int i = 0; i < 1000 && added < count; ++i) batch.push_back(record(added++));
            store().upsertGroupWithContents(std::nullopt, batch, {});
        }
        runUntil([&] { return rowCount() >= static_cast<std::size_t>(count); });
        fx::settle();
    }
};

// Runs the agent client in its own process while the event loop runs; answers its printed figures.
std::vector<double> runAgent(const std::string& socket, const std::string& prefix, int count) {
    int out[2];
    if (::pipe(out) != 0) std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string program = g_binDir + "/../agent/agent_create_client";
    const std::string countText = std::to_string(count);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(socket.c_str()),
                    const_cast<char*>(prefix.c_str()), const_cast<char*>(countText.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    int status = 0;
    runUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; });
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "agent client failed\n");
        std::exit(1);
    }
    std::vector<double> figures(5);
    std::sscanf(text.c_str(), "%lf %lf %lf %lf %lf", &figures[0], &figures[1], &figures[2], &figures[3], &figures[4]);
    return figures;  // count, median, p90, max, mean (ms)
}

void addOne() {
    std::printf("\n== add one item: \"Add Item\" to its row drawn, real widgets (goal <= 50 ms, flat) ==\n");
    std::printf("%8s %12s %14s %14s\n", "items", "median ms", "spread ms", "stall ms");
    for (const int size : {100, 1000, 10000}) {
        App app(false);
        app.fill(size);
        PaintWatch paints;
        app.list()->viewport()->installEventFilter(&paints);
        StallWatch stalls;
        std::vector<double> times, stallMs;
        for (int i = 0; i < 11; ++i) {
            app.screen()->window().requestAddItem(std::nullopt);
            AddItemSheet* sheet = nullptr;
            runUntil([&] { return (sheet = app.screen()->findChild<AddItemSheet*>()) != nullptr && sheet->isVisible(); });
            runFor(std::chrono::milliseconds(30));
            auto& model = sheet->model();
            // "A..." sorts before "Item ...": the new row lands in view.
            model.setName("Added " + std::to_string(i));
            model.setValue("x");
            QPointer<AddItemSheet> open(sheet);
            stalls.start();
            const auto start = Clock::now();
            model.add();
            Uuid id;
            bool drawn = false;
            runUntil([&] {
                if (open) return false;  // the sheet closes once the add and its refresh are done
                if (!drawn) {
                    for (const auto& row : app.screen()->window().rows())
                        if (row.name == "Added " + std::to_string(i)) {
                            id = row.id;
                            drawn = true;
                        }
                    if (drawn) {
                        // Its paint may already have passed: ask for one more, which lands at most
                        // one poll later, so the figure is an upper bound and the wait always ends.
                        paints.last = {};
                        app.list()->viewport()->update();
                    }
                    return false;
                }
                return paints.last > start && paints.last != Clock::time_point{};
            });
            times.push_back(std::chrono::duration<double, std::milli>(paints.last - start).count());
            stallMs.push_back(stalls.stop());
            runFor(std::chrono::milliseconds(20));
        }
        std::printf("%8d %12.1f %14s %14.1f\n", size, median(times), spread(times).c_str(), median(stallMs));
    }
}

void search() {
    std::printf("\n== search: a key typed in the search field to the list drawn, real widgets (goal <= 16 ms at 10,000) ==\n");
    std::printf("%8s %12s %14s %14s\n", "items", "median ms", "spread ms", "stall ms");
    for (const int size : {100, 1000, 10000}) {
        App app(false);
        app.fill(size);
        auto* field = app.screen()->findChild<QLineEdit*>("toolbar.search");
        PaintWatch paints;
        app.list()->viewport()->installEventFilter(&paints);
        StallWatch stalls;
        std::vector<double> times, stallMs;
        // Narrowing, then widening again: "4", "42", "427", then three backspaces.
        const auto type = [&](int key, const QString& text) {
            stalls.start();
            const auto start = Clock::now();
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
            QCoreApplication::sendEvent(field, &press);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
            QCoreApplication::sendEvent(field, &release);
            paints.last = {};
            app.list()->viewport()->update();  // a list that stays the same is drawn all the same
            runUntil([&] { return paints.last > start; });
            times.push_back(std::chrono::duration<double, std::milli>(paints.last - start).count());
            stallMs.push_back(stalls.stop());
            runFor(std::chrono::milliseconds(10));
        };
        for (int round = 0; round < 5; ++round) {
            type(Qt::Key_4, "4");
            type(Qt::Key_2, "2");
            type(Qt::Key_7, "7");
            for (int i = 0; i < 3; ++i) type(Qt::Key_Backspace, {});
        }
        std::printf("%8d %12.1f %14s %14.1f\n", size, median(times), spread(times).c_str(), median(stallMs));
    }
}

void unlock() {
    std::printf("\n== unlock: Return to the list drawn, real widgets (goal <= 1.2x the KDF; stall <= 50 ms) ==\n");
    std::printf("%8s %8s %12s %8s %22s %12s\n", "items", "KDF ms", "to list ms", "x KDF", "runs ms (to list/stall)", "stall ms");
    for (const int size : {100, 1000, 10000}) {
        App app(true);
        app.fill(size);
        fx::await(app.m->lock());
        fx::settle();
        std::vector<double> totals, kdfs, stallMs;
        std::string runs;
        for (int round = 0; round < 3; ++round) {
            {
                const auto start = Clock::now();
                auto vault = VaultCrypto::createVault(SecureBytes(std::string_view("x")), false, Argon2Cost::standard());
                (void)vault;
                kdfs.push_back(msSince(start));
            }
            PaintWatch paints;
            StallWatch stalls;
            stalls.start();
            const auto start = Clock::now();
            auto task = app.m->unlock(SecureBytes(std::string_view(fx::kPassphrase)));
            QListView* list = nullptr;
            runUntil([&] {
                if (!list) {
                    list = app.list();
                    if (list) list->viewport()->installEventFilter(&paints);
                    return false;
                }
                return app.rowCount() == static_cast<std::size_t>(size) && paints.last > start &&
                       list->model()->rowCount() == size;
            });
            // the paint after the rows arrived
            const auto rowsAt = Clock::now();
            runUntil([&] { return paints.last >= rowsAt || list->model()->rowCount() == size; });
            totals.push_back(std::chrono::duration<double, std::milli>(std::max(paints.last, start) - start).count());
            runFor(std::chrono::milliseconds(50));
            stallMs.push_back(stalls.stop());
            fx::await(std::move(task));
            char text[48];
            std::snprintf(text, sizeof text, "%.0f/%.0f ", totals.back(), stallMs.back());
            runs += text;
            fx::await(app.m->lock());
            fx::settle();
        }
        const double kdf = median(kdfs);
        std::printf("%8d %8.0f %12.0f %8.2f %22s %12.1f\n", size, kdf, median(totals), median(totals) / kdf, runs.c_str(),
                    median(stallMs));
    }
}

void agentWrites() {
    std::printf("\n== agents' secret_create over the socket, own process, window and codes panel open, 40 -> 4,000 items"
                " (goal <= 2 ms each) ==\n");
    for (const bool withWindow : {false, true}) {
        App app(false, withWindow);
        app.fill(40);
        if (!withWindow) {
            app.window->hide();
            app.window.reset();
        }
        StallWatch stalls;
        stalls.start();
        const auto start = Clock::now();
        const auto figures = runAgent(app.home.paths().socket, "agent-", 3960);
        const double total = msSince(start);
        const double stall = stalls.stop();
        if (withWindow) runUntil([&] { return app.rowCount() == 4000; });
        std::printf("  %-12s median %.3f ms, p90 %.3f, max %.1f, mean %.3f ms (3,960 in %.1f s); longest main-thread"
                    " stall %.1f ms\n",
                    withWindow ? "window open" : "no window", figures[1], figures[2], figures[3], figures[4], total / 1000,
                    stall);
    }
}

void memory(int seconds) {
    std::printf("\n== resident memory: agent writes for %d s, a lock every 20 s, then idle (goal <= 1.5x the heap in use) ==\n",
                seconds);
    App app(false, true);
    app.fill(1000);
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    int cycle = 0;
    while (Clock::now() < end) {
        const auto cycleEnd = std::min(end, Clock::now() + std::chrono::seconds(20));
        if (!app.m->hasSession()) fx::await(app.m->unlock(SecureBytes(std::string_view(fx::kPassphrase))));
        runUntil([&] { return app.screen() != nullptr; });
        while (Clock::now() + std::chrono::seconds(2) < cycleEnd)
            runAgent(app.home.paths().socket, "burst-" + std::to_string(cycle++) + "-", 200);
        runUntil([&] { return Clock::now() >= cycleEnd; });
        std::printf("  %3d s: resident %ld MB, heap in use %ld MB, %zu rows\n",
                    static_cast<int>(seconds - std::chrono::duration_cast<std::chrono::seconds>(end - Clock::now()).count()),
                    residentKilobytes() / 1024, heapInUseKilobytes() / 1024, app.rowCount());
        if (Clock::now() < end) {
            fx::await(app.m->lock());
            fx::settle();
        }
    }
    // Idle afterwards, unlocked with the window open.
    if (!app.m->hasSession()) fx::await(app.m->unlock(SecureBytes(std::string_view(fx::kPassphrase))));
    runFor(std::chrono::seconds(12));
    const long resident = residentKilobytes();
    const long heap = heapInUseKilobytes();
    std::printf("  idle afterwards: resident %ld MB, heap in use %ld MB: %.2fx (goal <= 1.5x)\n", resident / 1024, heap / 1024,
                static_cast<double>(resident) / static_cast<double>(std::max(1L, heap)));
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // figures reach a pipe as they are printed
    configureAllocator();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    g_binDir = QCoreApplication::applicationDirPath().toStdString();
    const std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "add") addOne();
    if (only.empty() || only == "search") search();
    if (only.empty() || only == "agent") agentWrites();
    if (only.empty() || only == "unlock") unlock();
    if (only.empty() || only == "memory") memory(argc > 2 ? std::atoi(argv[2]) : 180);
    return 0;
}
