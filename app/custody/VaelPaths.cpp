#include "app/custody/VaelPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "app/custody/PrivateFiles.h"
#include "core/Uuid.h"

namespace vael {

namespace {

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

// Only absolute folders count; relative ones are ignored, as the base-directory rules say.
std::optional<std::string> usableFolder(const std::optional<std::string>& folder) {
    if (!folder || folder->empty() || folder->front() != '/') return std::nullopt;
    std::string text = *folder;
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::optional<std::string> dataFolder(const PathEnvironment& environment) {
    if (auto dataHome = usableFolder(environment.dataHome)) return dataHome;
    if (auto home = usableFolder(environment.home)) return join(*home, ".local/share");
    return std::nullopt;
}

VaelPaths pathsIn(const std::string& folder) {
    return VaelPaths(join(folder, "vault.json"), join(folder, "replica.sqlite"), join(folder, "vael.sock"));
}

}  // namespace

PathEnvironment PathEnvironment::current() {
    PathEnvironment environment;
    environment.dataHome = variable("XDG_DATA_HOME");
    environment.home = variable("HOME");
    environment.runtimeDir = variable("XDG_RUNTIME_DIR");
    environment.tempDir = variable("TMPDIR");
    environment.uid = ::geteuid();
    if (!usableFolder(environment.home)) {
        std::vector<char> buffer(16384);
        struct passwd entry {};
        struct passwd* found = nullptr;
        if (::getpwuid_r(environment.uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr)
            environment.home = std::string(found->pw_dir);
    }
    return environment;
}

std::string fallbackFolder(const PathEnvironment& environment) {
    if (auto runtime = usableFolder(environment.runtimeDir)) return join(*runtime, "Vael");
    const std::string temp = usableFolder(environment.tempDir).value_or("/tmp");
    return join(temp, "Vael-" + std::to_string(environment.uid));
}

VaelPaths VaelPaths::standard() { return standard(PathEnvironment::current()); }

VaelPaths VaelPaths::standard(const PathEnvironment& environment) {
    std::string folder;
    if (auto data = dataFolder(environment); data && createFolders(*data))
        folder = join(*data, "Vael");
    else
        folder = fallbackFolder(environment);
    // Best effort: whoever touches the first file checks the folder and reports what is wrong.
    createFolders(folder);
    return pathsIn(folder);
}

VaelPaths VaelPaths::temporary() { return temporary(PathEnvironment::current()); }

VaelPaths VaelPaths::temporary(const PathEnvironment& environment) {
    const std::string tag = Uuid::random().text().substr(0, 8);
    const std::string folder = fallbackFolder(environment);
    return VaelPaths(join(folder, "vael-" + tag + ".json"), join(folder, "vael-" + tag + ".sqlite"),
                     join(folder, "vael-" + tag + ".sock"));
}

std::string VaelPaths::trustedKeys() const { return join(folderOf(vaultConfig), "trusted-keys.json"); }

}  // namespace vael
