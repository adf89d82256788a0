#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/platform/CommandLine.h"

namespace vael {
namespace {

// argv as main gets it: writable strings in one block.
struct Arguments {
    explicit Arguments(std::vector<std::string> words) : words_(std::move(words)) {
        for (auto& word : words_) pointers_.push_back(word.data());
    }
    int argc() const { return static_cast<int>(pointers_.size()); }
    char** argv() { return pointers_.data(); }
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};

class Environment {
public:
    Environment(const char* platform, const char* x11, const char* wayland) {
        set("QT_QPA_PLATFORM", platform);
        set("DISPLAY", x11);
        set("WAYLAND_DISPLAY", wayland);
    }
    ~Environment() {
        for (const auto& [name, value] : saved_) put(name, value.isNull() ? nullptr : value.constData());
    }

private:
    void set(const char* name, const char* value) {
        saved_.emplace_back(name, qgetenv(name));
        put(name, value);
    }
    static void put(const char* name, const char* value) {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

TEST(CommandLine, ADisplayIsMissingOnlyForTheWindowSystemQtWouldUse) {
    struct Case {
        const char* platform;
        const char* x11;
        const char* wayland;
        std::vector<std::string> arguments;
        bool missing;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, {"vael"}, true},
        {nullptr, ":0", nullptr, {"vael"}, false},
        {nullptr, nullptr, "wayland-0", {"vael"}, false},
        {"offscreen", nullptr, nullptr, {"vael"}, false},
        {"wayland", ":0", nullptr, {"vael"}, true},
        {"wayland;xcb", ":0", nullptr, {"vael"}, false},
        {"xcb", nullptr, "wayland-0", {"vael"}, true},
        {nullptr, nullptr, nullptr, {"vael", "-platform", "offscreen"}, false},
        {"offscreen", nullptr, nullptr, {"vael", "-platform", "xcb"}, true},
    };
    for (const auto& c : cases) {
        Environment environment(c.platform, c.x11, c.wayland);
        Arguments arguments(c.arguments);
        EXPECT_EQ(missingDisplay(arguments.argc(), arguments.argv()).has_value(), c.missing)
            << (c.platform ? c.platform : "-") << " " << (c.x11 ? c.x11 : "-") << " " << (c.wayland ? c.wayland : "-");
    }
}

TEST(CommandLine, OneLinkAtMostAndUnknownOptionsAreNamed) {
    EXPECT_EQ(CommandLine::read({"vael"}).links, QStringList{});
    EXPECT_EQ(CommandLine::read({"vael", "vael://invite/a"}).links, QStringList{"vael://invite/a"});
    EXPECT_EQ(CommandLine::read({"vael", "--", "-odd-link"}).links, QStringList{"-odd-link"});
    EXPECT_EQ(CommandLine::read({"vael", "a", "b"}).error, "Give at most one link.");
    EXPECT_EQ(CommandLine::read({"vael", "--frobnicate"}).error, "Unknown option 'frobnicate'.");

    Arguments help({"vael", "-platform", "offscreen", "--help"});
    EXPECT_TRUE(CommandLine::information(help.argc(), help.argv(), "1.2.3")->startsWith("Usage: vael [options] [link]"));
    Arguments version({"vael", "-v"});
    EXPECT_EQ(CommandLine::information(version.argc(), version.argv(), "1.2.3"), "Vael 1.2.3\n");
    Arguments link({"vael", "vael://invite/a"});
    EXPECT_FALSE(CommandLine::information(link.argc(), link.argv(), "1.2.3"));
}

TEST(CommandLine, ScrubbingBlanksTheLinkInPlaceAndNothingElse) {
    Arguments arguments({"vael", "-style", "fusion", "https://example.org/invite#SECRET"});
    scrubArguments(arguments.argc(), arguments.argv(), {"https://example.org/invite#SECRET"});
    EXPECT_STREQ(arguments.argv()[0], "vael");
    EXPECT_STREQ(arguments.argv()[2], "fusion");
    const std::string& scrubbed = arguments.words_[3];
    EXPECT_EQ(scrubbed.size(), std::strlen("https://example.org/invite#SECRET"));
    EXPECT_EQ(scrubbed.find_first_not_of('\0'), std::string::npos);
}

}  // namespace
}  // namespace vael
