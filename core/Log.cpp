#include "core/Log.h"

#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace vael {

namespace {

int priorityOf(LogLevel level) {
    switch (level) {
        case LogLevel::Error: return LOG_ERR;
        case LogLevel::Warning: return LOG_WARNING;
        case LogLevel::Info: return LOG_INFO;
        case LogLevel::Debug: return LOG_DEBUG;
    }
    return LOG_INFO;
}

bool journalAvailable() {
    static const bool available = [] {
        struct stat st {};
        return ::stat("/run/systemd/journal/socket", &st) == 0;
    }();
    return available;
}

}  // namespace

void logMessage(LogLevel level, std::string_view category, std::string_view message) {
    const std::string cat(category);
    const std::string text(message);
    if (journalAvailable() &&
        sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", priorityOf(level), "VAEL_SUBSYSTEM=%.*s",
                        static_cast<int>(kLogSubsystem.size()), kLogSubsystem.data(), "VAEL_CATEGORY=%s",
                        cat.c_str(), "SYSLOG_IDENTIFIER=vael", nullptr) == 0)
        return;
    std::fprintf(stderr, "vael[%s] %s\n", cat.c_str(), text.c_str());
}

}  // namespace vael
