// The real application under a private Xvfb, keys and clicks sent through XTest from this one
// process, and each figure timed from the input to the last change of the screen (XDamage on the
// root window, so sheets and dialogs count) followed by a quiet spell. Every figure is printed beside
// its goal and the input floor measured in the same run (a passphrase character: a dot drawn).
// The main thread's stalls come from the application's own probe (VAEL_STALL_PROBE), which prints
// only gap lengths and times.
//
//   window_bench ITEMS [ROUNDS]     (run from the build tree; bench/run-window-benches.sh runs all sizes)

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/ui/WindowBenchPassphrase.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using ms = std::chrono::duration<double, std::milli>;

double between(Clock::time_point from, Clock::time_point to) { return ms(to - from).count(); }

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string spread(std::vector<double> values) {
    if (values.empty()) return "-";
    std::sort(values.begin(), values.end());
    char text[64];
    std::snprintf(text, sizeof text, "%.1f..%.1f", values.front(), values.back());
    return text;
}

// WINDOW_BENCH_TRACE=1: each step and the application's own messages on stderr.
const bool g_trace = std::getenv("WINDOW_BENCH_TRACE") != nullptr;
void trace(const std::string& step) {
    if (g_trace) std::fprintf(stderr, "window_bench: %s\n", step.c_str());
}

[[noreturn]] void die(const std::string& message) {
    std::fprintf(stderr, "window_bench: %s\n", message.c_str());
    std::exit(1);
}

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv, int out = -1, int err = -1) {
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) envText.emplace_back(*e);
    for (const auto& extra : extraEnv) {
        const auto key = extra.substr(0, extra.find('=') + 1);
        std::erase_if(envText, [&](const std::string& e) { return e.rfind(key, 0) == 0; });
        envText.push_back(extra);
    }
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, 1);
    if (err >= 0) posix_spawn_file_actions_adddup2(&actions, err, 2);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) die("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Resident memory in kB: all of it, and the part that is heap and stacks rather than file pages
// (libraries and data files read on first use, which no trim gives back).
struct Resident {
    long total = 0, anonymous = 0;
};
Resident resident(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    Resident found;
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) found.total = std::stol(line.substr(6));
        if (line.rfind("RssAnon:", 0) == 0) found.anonymous = std::stol(line.substr(8));
    }
    return found;
}

// A stall the application's probe reported: the event loop did not turn for `length` ms up to `end`.
struct Stall {
    Clock::time_point end;
    double length;
};

class Bench {
public:
    Bench(std::string binDir, int items) : binDir_(std::move(binDir)), items_(items) {}
    ~Bench() { stop(); }

    void seed() {
        char pattern[] = "/tmp/vael-window-bench-XXXXXX";
        if (!::mkdtemp(pattern)) die("mkdtemp failed");
        home_ = pattern;
        for (const char* sub : {"/home", "/data", "/config", "/cache", "/run"}) std::filesystem::create_directories(home_ + sub);
        std::filesystem::permissions(home_ + "/run", std::filesystem::perms::owner_all);
        csv_ = home_ + "/import.csv";
        const auto pid = spawn({binDir_ + "/window_bench_seed", std::to_string(items_), csv_}, environment());
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) die("seeding the vault failed");
    }

    void startServer() {
        int fds[2];
        if (::pipe(fds) != 0) die("pipe");
        const int devnull = ::open("/dev/null", O_WRONLY);
        xvfb_ = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24", "-nolisten", "tcp"}, {},
                      devnull, devnull);
        ::close(devnull);
        ::close(fds[1]);
        std::string number;
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (number.empty()) die("Xvfb did not start (is the xvfb package installed?)");
        display_ = ":" + number;
        dpy_ = XOpenDisplay(display_.c_str());
        if (!dpy_) die("cannot open " + display_);
        int event, error, major, minor;
        if (!XTestQueryExtension(dpy_, &event, &error, &major, &minor)) die("no XTest");
        if (!XDamageQueryExtension(dpy_, &damageEvent_, &error)) die("no XDamage");
        damage_ = XDamageCreate(dpy_, DefaultRootWindow(dpy_), XDamageReportRawRectangles);
        XSync(dpy_, False);
    }

    // Starts the application; answers the time to its first screen settled.
    double startApp() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) die("pipe");
        const auto start = Clock::now();
        auto env = environment();
        env.push_back("DISPLAY=" + display_);
        env.push_back("QT_QPA_PLATFORM=xcb");
        env.push_back("VAEL_STALL_PROBE=1");
        app_ = spawn({binDir_ + "/../../app/vael"}, env, -1, fds[1]);
        ::close(fds[1]);
        probe_ = fds[0];
        ::fcntl(probe_, F_SETFL, O_NONBLOCK);
        const auto settled = settle(start, 1000, 30000);
        findWindow();
        return between(start, settled);
    }

    void stop() {
        if (app_ > 0) {
            ::kill(app_, SIGTERM);
            int status;
            for (int i = 0; i < 100 && ::waitpid(app_, &status, WNOHANG) == 0; ++i) ::usleep(50000);
            ::kill(app_, SIGKILL);
            ::waitpid(app_, &status, 0);
            app_ = 0;
        }
        if (dpy_) {
            XCloseDisplay(dpy_);
            dpy_ = nullptr;
        }
        if (xvfb_ > 0) {
            ::kill(xvfb_, SIGTERM);
            int status;
            ::waitpid(xvfb_, &status, 0);
            xvfb_ = 0;
        }
        if (!home_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(home_, ignored);
            home_.clear();
        }
    }

    // The key derivation alone at the application's cost, measured by the seeder now.
    double kdf() {
        int fds[2];
        if (::pipe(fds) != 0) die("pipe");
        const auto pid = spawn({binDir_ + "/window_bench_seed", "kdf"}, environment(), fds[1]);
        ::close(fds[1]);
        std::string text;
        char buffer[64];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
        ::close(fds[0]);
        int status;
        ::waitpid(pid, &status, 0);
        return std::atof(text.c_str());
    }

    pid_t app() const { return app_; }
    const std::string& csv() const { return csv_; }

    // Pumps X events and the probe until `until`; counts damage within the watched region and wider
    // than a text cursor (its blinking is not the application answering).
    void pump(Clock::time_point until) {
        while (true) {
            while (XPending(dpy_)) {
                XEvent event;
                XNextEvent(dpy_, &event);
                if (event.type == damageEvent_ + XDamageNotify) {
                    const auto& notify = reinterpret_cast<XDamageNotifyEvent&>(event);
                    const auto& area = notify.area;
                    const int x = area.x - windowX_, y = area.y - windowY_;
                    const bool inside = x < region_[0] + region_[2] && x + area.width > region_[0] &&
                                        y < region_[1] + region_[3] && y + area.height > region_[1];
                    if (area.width > minWidth_ && area.height > 4 && inside) {
                        lastDamage_ = Clock::now();
                        if (traceDamage_)
                            trace("damage " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(area.width) + "x" +
                                  std::to_string(area.height));
                    }
                    if (!notify.more) XDamageSubtract(dpy_, damage_, None, None);
                }
            }
            readProbe();
            sample();
            const auto now = Clock::now();
            if (now >= until) return;
            pollfd fds[2] = {{ConnectionNumber(dpy_), POLLIN, 0}, {probe_, POLLIN, 0}};
            const int wait = std::max(1, static_cast<int>(between(now, until)));
            ::poll(fds, probe_ >= 0 ? 2 : 1, std::min(wait, sampling_ ? 4 : 20));
        }
    }

    // Waits for the screen to change and then stay still for `quietMs`; answers the last change
    // (or `from` when nothing changed within `limitMs`).
    Clock::time_point settle(Clock::time_point from, int quietMs, int limitMs) {
        const auto limit = from + std::chrono::milliseconds(limitMs);
        while (true) {
            const auto now = Clock::now();
            const auto reference = lastDamage_ > from ? lastDamage_ : from;
            if (lastDamage_ > from && now - lastDamage_ >= std::chrono::milliseconds(quietMs)) return lastDamage_;
            if (now >= limit) {
                if (lastDamage_ <= from) return from;
                if (limitMs >= 30000) die("the screen did not settle within " + std::to_string(limitMs / 1000) + " s");
                trace("still changing after " + std::to_string(limitMs) + " ms");
                return lastDamage_;
            }
            pump(std::max(reference + std::chrono::milliseconds(quietMs), now + std::chrono::milliseconds(1)));
        }
    }

    // One key (keysym, with shift where the keymap needs it), pressed and released; answers the
    // time of the press.
    Clock::time_point key(KeySym sym, unsigned modifiers = 0) {
        const KeyCode code = XKeysymToKeycode(dpy_, sym);
        if (!code) die("no key for a keysym");
        bool shift = modifiers & ShiftMask;
        if (XkbKeycodeToKeysym(dpy_, code, 0, 0) != sym && XkbKeycodeToKeysym(dpy_, code, 0, 1) == sym) shift = true;
        const KeyCode shiftCode = XKeysymToKeycode(dpy_, XK_Shift_L), ctrlCode = XKeysymToKeycode(dpy_, XK_Control_L);
        if (shift) XTestFakeKeyEvent(dpy_, shiftCode, True, 0);
        if (modifiers & ControlMask) XTestFakeKeyEvent(dpy_, ctrlCode, True, 0);
        XFlush(dpy_);
        const auto pressed = Clock::now();
        XTestFakeKeyEvent(dpy_, code, True, 0);
        XTestFakeKeyEvent(dpy_, code, False, 0);
        if (modifiers & ControlMask) XTestFakeKeyEvent(dpy_, ctrlCode, False, 0);
        if (shift) XTestFakeKeyEvent(dpy_, shiftCode, False, 0);
        XFlush(dpy_);
        return pressed;
    }
    Clock::time_point type(char c) { return key(c == ' ' ? XK_space : static_cast<KeySym>(static_cast<unsigned char>(c))); }
    void typeText(const std::string& text) {
        for (char c : text) {
            type(c);
            pump(Clock::now() + std::chrono::milliseconds(8));
        }
    }

    // Only changes within this part of the window count (window coordinates); the whole screen by default.
    // Changes narrower than `minWidth` do not count either.
    void watch(std::array<int, 4> region, int minWidth = 10) {
        region_ = region;
        minWidth_ = minWidth;
    }
    void watchAll() { region_ = {-100000, -100000, 200000, 200000}; }

    // Gives the main window the keyboard, as a window manager does when a sheet over it closes
    // (without one, focus stays with the closed window and the window's shortcuts stay dead).
    void focusMain() { focus(window_); }
    // The same for the topmost window (a sheet over the main window, once a dialog over it closed);
    // answers where it is (x, y, width, height in the main window).
    std::array<int, 4> focusTop() {
        Window root, parent, *children = nullptr, top = window_;
        std::array<int, 4> place{0, 0, width_, height_};
        unsigned count = 0;
        if (XQueryTree(dpy_, DefaultRootWindow(dpy_), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count; ++i) {  // bottom to top
                XWindowAttributes attributes;
                if (XGetWindowAttributes(dpy_, children[i], &attributes) && attributes.map_state == IsViewable &&
                    attributes.width < 1280 && attributes.width > 200) {
                    top = children[i];
                    place = {attributes.x - windowX_, attributes.y - windowY_, attributes.width, attributes.height};
                }
            }
            if (children) XFree(children);
        }
        focus(top);
        return place;
    }
    void focus(Window window) {
        XSetInputFocus(dpy_, window, RevertToParent, CurrentTime);
        XFlush(dpy_);
        pump(Clock::now() + std::chrono::milliseconds(50));
    }

    Clock::time_point click(int x, int y) {
        XTestFakeMotionEvent(dpy_, -1, windowX_ + x, windowY_ + y, 0);
        XFlush(dpy_);
        pump(Clock::now() + std::chrono::milliseconds(60));
        const auto pressed = Clock::now();
        XTestFakeButtonEvent(dpy_, 1, True, 0);
        XTestFakeButtonEvent(dpy_, 1, False, 0);
        XFlush(dpy_);
        return pressed;
    }

    // Input to the screen settled: from `pressed`, the last change before `quietMs` of stillness.
    double answer(Clock::time_point pressed, int quietMs = 200, int limitMs = 5000) {
        return between(pressed, settle(pressed, quietMs, limitMs));
    }

    // Grabs a patch of the window every few milliseconds until `shownAt` is asked.
    void startSampling(int x, int y, int w, int h) {
        patch_ = {x, y, w, h};
        samples_.clear();
        sampling_ = true;
        sample();
    }
    // Whether the patch now looks clearly unlike its first look.
    bool patchChanged() { return !samples_.empty() && unlike(samples_.front().pixels, grab(), 0.05); }
    // A patch's look now, once, to tell later whether it changed.
    std::vector<std::uint32_t> look(std::array<int, 4> patch) {
        patch_ = patch;
        return grab();
    }
    // A new stage of a sheet, not a focus ring: text on a plain ground changes few of its pixels.
    bool changedSince(const std::vector<std::uint32_t>& before) { return unlike(before, grab(), 0.005); }
    // When the patch was first at least half-way from its first look to its last: the content shown,
    // even while a fade still runs over it.
    Clock::time_point shownAt() {
        sampling_ = false;
        samples_.push_back({Clock::now(), grab()});
        const auto& first = samples_.front().pixels;
        const auto& last = samples_.back().pixels;
        const double whole = distance(first, last);
        for (const auto& s : samples_)
            if (distance(s.pixels, last) <= whole / 2) return s.at;
        return samples_.back().at;
    }

    double longestStall(Clock::time_point from, Clock::time_point to) const {
        double longest = 0;
        for (const auto& stall : stalls_) {
            const auto began = stall.end - std::chrono::microseconds(static_cast<long>(stall.length * 1000));
            if (stall.end >= from && began <= to) longest = std::max(longest, stall.length);
        }
        return longest;
    }

    // With tracing, the screen as a PPM file in the working folder.
    void shot(const std::string& name) {
        if (!g_trace) return;
        XImage* image = XGetImage(dpy_, DefaultRootWindow(dpy_), 0, 0, 1280, 800, AllPlanes, ZPixmap);
        if (!image) return;
        std::ofstream out("window-bench-" + name + ".ppm", std::ios::binary);
        out << "P6\n1280 800\n255\n";
        for (int y = 0; y < 800; ++y)
            for (int x = 0; x < 1280; ++x) {
                const auto pixel = XGetPixel(image, x, y);
                const char rgb[3] = {char((pixel >> 16) & 0xff), char((pixel >> 8) & 0xff), char(pixel & 0xff)};
                out.write(rgb, 3);
            }
        XDestroyImage(image);
    }

    int width() const { return width_; }
    int height() const { return height_; }

private:
    struct Sample {
        Clock::time_point at;
        std::vector<std::uint32_t> pixels;
    };

    std::vector<std::uint32_t> grab() {
        std::vector<std::uint32_t> pixels;
        XImage* image = XGetImage(dpy_, DefaultRootWindow(dpy_), windowX_ + patch_[0], windowY_ + patch_[1],
                                  static_cast<unsigned>(patch_[2]), static_cast<unsigned>(patch_[3]), AllPlanes, ZPixmap);
        if (!image) return pixels;
        pixels.reserve(static_cast<std::size_t>(patch_[2] * patch_[3]));
        for (int y = 0; y < patch_[3]; ++y)
            for (int x = 0; x < patch_[2]; ++x) pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)));
        XDestroyImage(image);
        return pixels;
    }
    // Whether the two differ by more than `share` of the largest possible difference.
    static bool unlike(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b, double share) {
        return distance(a, b) > share * 255 * 3 * static_cast<double>(b.size());
    }
    static double distance(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
        double sum = 0;
        for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
            for (int shift : {0, 8, 16}) sum += std::abs(static_cast<int>((a[i] >> shift) & 0xff) - static_cast<int>((b[i] >> shift) & 0xff));
        return sum;
    }
    void sample() {
        if (!sampling_) return;
        const auto now = Clock::now();
        if (!samples_.empty() && now - samples_.back().at < std::chrono::milliseconds(4)) return;
        samples_.push_back({now, grab()});
    }

    std::vector<std::string> environment() const {
        return {"HOME=" + home_ + "/home", "XDG_DATA_HOME=" + home_ + "/data", "XDG_CONFIG_HOME=" + home_ + "/config",
                "XDG_CACHE_HOME=" + home_ + "/cache", "XDG_RUNTIME_DIR=" + home_ + "/run"};
    }

    void readProbe() {
        if (probe_ < 0) return;
        char buffer[4096];
        for (ssize_t n; (n = ::read(probe_, buffer, sizeof buffer)) > 0;) probeText_.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = probeText_.find('\n')) != std::string::npos; probeText_.erase(0, end + 1)) {
            double length = 0;
            long long endNs = 0;
            if (std::sscanf(probeText_.c_str(), "vael-stall %lf %lld", &length, &endNs) == 2)
                stalls_.push_back({Clock::time_point(std::chrono::nanoseconds(endNs)), length});
            else
                trace("app: " + probeText_.substr(0, end));
        }
    }

    // The application's largest mapped top-level window.
    void findWindow() {
        const auto limit = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < limit) {
            Window root, parent, *children = nullptr;
            unsigned count = 0;
            long best = 0;
            if (XQueryTree(dpy_, DefaultRootWindow(dpy_), &root, &parent, &children, &count)) {
                for (unsigned i = 0; i < count; ++i) {
                    XWindowAttributes attributes;
                    if (!XGetWindowAttributes(dpy_, children[i], &attributes) || attributes.map_state != IsViewable) continue;
                    const long area = static_cast<long>(attributes.width) * attributes.height;
                    if (area > best && attributes.width < 1280) {
                        best = area;
                        window_ = children[i];
                        windowX_ = attributes.x;
                        windowY_ = attributes.y;
                        width_ = attributes.width;
                        height_ = attributes.height;
                    }
                }
                if (children) XFree(children);
            }
            if (best) return;
            pump(Clock::now() + std::chrono::milliseconds(100));
        }
        die("the application's window did not appear");
    }

    std::string binDir_;
    int items_;
    std::string home_, csv_, display_;
    pid_t xvfb_ = 0, app_ = 0;
    Display* dpy_ = nullptr;
    int damageEvent_ = 0;
    Damage damage_ = 0;
    Window window_ = 0;
    int windowX_ = 0, windowY_ = 0, width_ = 0, height_ = 0;
    int probe_ = -1;
    std::string probeText_;
    std::vector<Stall> stalls_;
    Clock::time_point lastDamage_{};
    bool sampling_ = false;
    std::array<int, 4> patch_{};
    bool traceDamage_ = std::getenv("WINDOW_BENCH_TRACE_DAMAGE") != nullptr;
    int minWidth_ = 10;
    std::array<int, 4> region_{-100000, -100000, 200000, 200000};
    std::vector<Sample> samples_;
};

struct Figures {
    // every figure in ms, each run
    std::vector<double> floor, toList, settled, stallAfterReturn, stallLater, search, add, import, kdf;
    double startMs = 0;
    Resident rssBefore, rssAfterLock, rssUnlocked;
    bool imported = false;
};

// A patch of the list column (x, y, width, height in the window), under the unlock card before.
constexpr std::array<int, 4> kListPatch{300, 150, 200, 200};

// The list column: what search, add and unlock change. The detail pane beside it is left out, as a
// code's countdown there changes every second.
constexpr std::array<int, 4> kListColumn{218, 50, 322, 630};

// The search field: the toolbar's last control, 200 px wide at the window's right edge, under the menu bar.
void focusSearch(Bench& bench) {
    bench.click(bench.width() - 105, 33);
    bench.answer(Clock::now(), 150);
}

void unlockRound(Bench& bench, Figures& figures) {
    trace("unlockRound");
    // Each character draws one more dot: the input floor.
    bench.focusMain();
    // The passphrase field, in the card's middle: after a lock it may not hold the focus.
    bench.click(bench.width() / 2, 407);
    bench.answer(Clock::now(), 150);
    const std::string pass = vael::windowbench::kPassphrase;
    for (std::size_t i = 0; i < pass.size(); ++i) {
        const auto pressed = bench.type(pass[i]);
        if (i < 8) figures.floor.push_back(bench.answer(pressed, 150));
        else bench.pump(Clock::now() + std::chrono::milliseconds(8));
    }
    bench.answer(Clock::now(), 300);
    bench.shot("typed");
    // The list column replaces the unlock card's middle: shown once half-way to its final look.
    bench.startSampling(kListPatch[0], kListPatch[1], kListPatch[2], kListPatch[3]);
    const auto pressed = bench.key(XK_Return);
    // The key derivation may leave the screen still for a while: settled only once the page is there.
    auto settled = bench.settle(pressed, 400, 30000);
    for (const auto limit = pressed + std::chrono::seconds(30); !bench.patchChanged() && Clock::now() < limit;)
        settled = bench.settle(Clock::now(), 400, 30000);
    if (!bench.patchChanged()) die("the vault page did not appear after the passphrase");
    const auto shown = bench.shownAt();
    figures.toList.push_back(between(pressed, shown));
    figures.settled.push_back(between(pressed, settled));
    figures.stallAfterReturn.push_back(bench.longestStall(pressed, pressed + std::chrono::milliseconds(300)));
    bench.shot("unlocked");
    figures.stallLater.push_back(bench.longestStall(pressed + std::chrono::milliseconds(300), settled));
}

void session(Bench& bench, Figures& figures) {
    trace("session");
    focusSearch(bench);
    bench.shot("search-focused");
    // Narrowing, then widening again: each keystroke is one search.
    for (int round = 0; round < 3; ++round) {
        for (char c : std::string("73")) figures.search.push_back(bench.answer(bench.type(c), 200));
        for (int i = 0; i < 2; ++i) figures.search.push_back(bench.answer(bench.key(XK_BackSpace), 200));
    }
    // New items: Ctrl+N, a name, a label and a secret, Return to the row drawn.
    for (int i = 0; i < 5; ++i) {
        bench.focusMain();
        bench.answer(bench.key(XK_n, ControlMask), 300);
        bench.typeText("Added " + std::to_string(i));
        // Name, field label, (username left empty), secret value.
        bench.key(XK_Tab);
        bench.typeText("pw");
        bench.key(XK_Tab);
        bench.key(XK_Tab);
        bench.typeText("x");
        bench.answer(Clock::now(), 200);
        bench.shot("add-sheet");
        figures.add.push_back(bench.answer(bench.key(XK_Return), 200));
        bench.shot("added");
    }
    // Open items, the ones with codes among them: the list holds focus once the sheet is gone.
    bench.focusMain();
    bench.click(kListPatch[0] + 80, kListPatch[1] + 50);
    bench.answer(Clock::now(), 200);
    for (int i = 0; i < 60; ++i) {
        bench.key(XK_Down);
        bench.pump(Clock::now() + std::chrono::milliseconds(25));
    }
    bench.answer(Clock::now(), 300);
}

void lock(Bench& bench) {
    trace("lock");
    bench.focusMain();
    bench.key(XK_l, ControlMask);
    bench.settle(Clock::now(), 500, 10000);
    bench.pump(Clock::now() + std::chrono::seconds(2));
}

// The import sheet: the add button's menu, its last entry, the file dialog's name field, Import.
bool importAll(Bench& bench, Figures& figures, int items) {
    trace("importAll");
    bench.focusMain();
    // From the keyboard, not a guessed position: the add control is two Tabs back from the search
    // field (Lock between them), Down opens its menu, Up wraps to its last entry, Import.
    focusSearch(bench);
    bench.key(XK_Tab, ShiftMask);
    bench.key(XK_Tab, ShiftMask);
    bench.answer(Clock::now(), 150);
    bench.key(XK_Down);
    bench.answer(Clock::now(), 300);
    bench.shot("add-menu");
    bench.key(XK_Up);
    bench.key(XK_Return);
    bench.answer(Clock::now(), 400);
    bench.focusTop();  // no window manager gives the new sheet the keyboard
    bench.shot("import-sheet");
    bench.key(XK_space);  // "Choose CSV File…"
    bench.answer(Clock::now(), 600);
    bench.focusTop();
    bench.shot("file-dialog");
    bench.typeText(bench.csv());
    bench.answer(Clock::now(), 300);
    bench.key(XK_Return);
    bench.answer(Clock::now(), 600);
    const auto sheet = bench.focusTop();
    bench.shot("import-preview");
    // The sheet, over the list column; not the detail pane, whose code counts down beside it.
    // Only the progress bar and larger changes count: the focused button's ring and the progress
    // text do not mark the end; the bar moves until the done stage replaces it.
    trace("the sheet at " + std::to_string(sheet[0]) + "," + std::to_string(sheet[1]) + " " + std::to_string(sheet[2]) + "x" +
          std::to_string(sheet[3]));
    bench.watch(sheet, 100);
    const auto preview = bench.look(sheet);
    const auto pressed = bench.key(XK_Return);  // Import
    if (bench.settle(pressed, 450, 20000) == pressed) {
        trace("nothing changed after Import");
        return false;
    }
    const auto settled = bench.settle(pressed, 2000, 600000);
    bench.shot("import-done");
    // The done stage replaces the preview: a sheet that looks the same imported nothing.
    if (!bench.changedSince(preview)) {
        trace("the sheet looks as before Import");
        return false;
    }
    figures.import.push_back(between(pressed, settled));
    trace("import of " + std::to_string(items) + " rows: " + std::to_string(between(pressed, settled)) + " ms");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_bench ITEMS [ROUNDS]\n");
        return 2;
    }
    const int items = std::atoi(argv[1]);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string binDir = std::filesystem::canonical("/proc/self/exe").parent_path();
    ::signal(SIGPIPE, SIG_IGN);

    Figures figures;
    Bench bench(binDir, items);
    trace("seeding");
    bench.seed();
    trace("starting Xvfb");
    bench.startServer();
    trace("starting the application");
    figures.startMs = bench.startApp();
    bench.watch(kListColumn);
    bench.pump(Clock::now() + std::chrono::seconds(1));
    figures.rssBefore = resident(bench.app());
    // The KDF alone before each unlock, so a drift in the machine's speed weighs on both alike.
    for (int round = 0; round < rounds; ++round) {
        figures.kdf.push_back(bench.kdf());
        unlockRound(bench, figures);
        if (round == 0) {
            session(bench, figures);
            figures.rssUnlocked = resident(bench.app());
            lock(bench);
            figures.rssAfterLock = resident(bench.app());
        } else {
            lock(bench);
        }
    }
    figures.kdf.push_back(bench.kdf());
    unlockRound(bench, figures);
    figures.imported = importAll(bench, figures, items);

    std::ifstream loadavg("/proc/loadavg");
    std::string load;
    std::getline(loadavg, load);
    const double floor = median(figures.floor);
    std::printf("\n== the real window at %d items (load %s) ==\n", items, load.c_str());
    std::printf("  %-44s %10s  %-16s  %s\n", "figure", "median", "spread", "goal");
    auto row = [&](const char* what, const std::vector<double>& values, const char* goal) {
        std::printf("  %-44s %8.1f ms  %-16s  %s\n", what, median(values), spread(values).c_str(), goal);
    };
    std::printf("  %-44s %8.1f ms  %-16s  %s\n", "start to the unlock screen", figures.startMs, "", "(kept)");
    row("input floor (a passphrase dot drawn)", figures.floor, "(floor, included below)");
    const double kdf = median(figures.kdf);
    row("KDF alone (the application's cost)", figures.kdf, "(before each unlock)");
    char ratio[96];
    std::snprintf(ratio, sizeof ratio, "%.2fx the KDF (goal <= 1.2x)", median(figures.toList) / kdf);
    row("unlock: Return -> list first shown", figures.toList, ratio);
    std::snprintf(ratio, sizeof ratio, "%.2fx the KDF", median(figures.settled) / kdf);
    row("unlock: Return -> page settled", figures.settled, ratio);
    row("unlock: longest stall, first 300 ms after Return", figures.stallAfterReturn, "<= 50 ms");
    row("unlock: longest stall, later (KDF end, page)", figures.stallLater, "<= 50 ms");
    row("search: keystroke -> list drawn", figures.search, "<= 16 ms of work above the floor");
    row("add: Return -> row drawn", figures.add, "<= 50 ms, flat");
    if (figures.imported) {
        row("import: Import -> done drawn", figures.import, "<= 20 s for 10,000 rows, flat");
        std::printf("  %-44s %8.2f ms\n", "import: per row", median(figures.import) / std::max(1, items));
    } else {
        std::printf("  %-44s %s\n", "import", "the sheet did not open (not measured)");
    }
    std::printf("  %-44s %8ld MB before unlock, %ld MB in the session, %ld MB after lock: %+.1f MB (goal <= +10 MB)\n",
                "resident memory", figures.rssBefore.total / 1024, figures.rssUnlocked.total / 1024,
                figures.rssAfterLock.total / 1024, (figures.rssAfterLock.total - figures.rssBefore.total) / 1024.0);
    std::printf("  %-44s %8ld MB before unlock, %ld MB in the session, %ld MB after lock: %+.1f MB\n",
                "  of which heap and stacks", figures.rssBefore.anonymous / 1024, figures.rssUnlocked.anonymous / 1024,
                figures.rssAfterLock.anonymous / 1024, (figures.rssAfterLock.anonymous - figures.rssBefore.anonymous) / 1024.0);
    std::printf("  (floor %.1f ms is included in every figure above)\n", floor);
    return 0;
}
