// The agent path at scale: the real item source, resolver, socket server and sync engine (offline,
// so every write waits in the queue, as on a machine without a server) over a replica of 10,000
// logins with 10,000 queued creations. Every figure is taken beside a raw Unix-socket echo in the
// same round, so a busy machine moves both; each round opens fresh sessions as an unlock does.
// Prints, per figure, the median over the rounds and the range (min..max).
//
// A replica is searched through the name tags its rows carry; rows that a pull or another writer
// left untagged are opened and tagged by the first search of their group. The seeded replica starts
// untagged, so that once-only cost is measured on its own before the rounds.
//
//   agent_path_bench [rounds]   (default 5)

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "SocketClient.h"
#include "app/agent/VaultUDSServer.h"
#include "app/agent/ops/ItemLayout.h"
#include "app/agent/ops/StoreVaultItemSource.h"
#include "store/RecordJson.h"
#include "store/RowCodec.h"
#include "store/SyncEngine.h"

using namespace vael;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kItems = 10000;
const Uuid kProject = Uuid::fromText("00000000-0000-0000-0000-00000000A000");
const Uuid kGroup = Uuid::fromText("00000000-0000-0000-0000-00000000C001");
const Argon2Cost kCheap{1, 8192};
const std::string kPassphrase = "bench passphrase";

class NeverGate final : public BiometricGate {
public:
    bool authenticate(const std::string&) override { return false; }
};

class OfflineAPI final : public VaelSyncAPI {
public:
    SyncResponse sync(std::optional<TimePoint>) override { throw SyncAPIError::offline(); }
    ItemBody fetchItem(const Uuid&) override { throw SyncAPIError::offline(); }
    PushResult putItem(const Uuid&, const ItemBody&, std::int64_t) override { throw SyncAPIError::offline(); }
    void createItem(const ItemBody&) override { throw SyncAPIError::offline(); }
    void deleteItem(const Uuid&) override { throw SyncAPIError::offline(); }
    void createCollection(const CollectionRecord&) override { throw SyncAPIError::offline(); }
    void patchCollection(const CollectionRecord&) override { throw SyncAPIError::offline(); }
    void deleteCollection(const Uuid&) override { throw SyncAPIError::offline(); }
};

// No pause: a replay is never run here, and a write must not wait for one.
class NoPause final : public SyncPause {
public:
    void pause(std::chrono::nanoseconds) override {}
};

double micros(Steady::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

std::string itemName(int i) { return "service-" + std::to_string(i); }

ItemPayload payloadFor(const std::string& name, int i) {
    ItemPayload payload;
    payload.name = name;
    payload.fields.push_back(ItemField{"username", ItemField::Kind::username, "user" + std::to_string(i), false});
    payload.fields.push_back(ItemField{"password", ItemField::Kind::password, "pw-" + std::to_string(i), true});
    payload.url = "https://" + name + ".example.com/login";
    return payload;
}

// The files of one vault: its keys as the configuration would hold them and its replica.
struct Replica {
    std::string dir;
    std::string path;
    NewVault made;
    Bytes wrappedGroupKey;

    explicit Replica(int items) {
        char pattern[] = "/tmp/vael-agent-path-XXXXXX";
        dir = ::mkdtemp(pattern);
        path = dir + "/replica.sqlite";
        made = VaultCrypto::createVault(SecureBytes(std::string_view(kPassphrase)), false, kCheap);
        VaultCrypto crypto(kCheap);
        crypto.unlock(made.wrappedKeys, made.wrappedAccountPrivKeys,
                      UnlockInput::passphrase(SecureBytes(std::string_view(kPassphrase))));
        const auto key = crypto.newCollectionKey();
        wrappedGroupKey = crypto.wrapCollectionKeyToSelf(key);
        { VaelStore schema(path); }
        SQLite::Database db(path, SQLite::OPEN_READWRITE);
        SQLite::Transaction transaction(db);
        const auto now = std::chrono::system_clock::now();
        auto groupName = itemlayout::sealName(crypto, "local", kGroup, key);
        SQLite::Statement group(db, rows::insertSql(rows::kCollectionColumns));
        rows::bind(group, CollectionRecord{kGroup, kProject, std::nullopt, groupName.blob, groupName.wrappedKey, 0,
                                           wrappedGroupKey, now, false});
        group.exec();
        auto projectName = itemlayout::sealName(crypto, "Personal", kProject, key);
        SQLite::Statement project(db, rows::insertSql(rows::kProjectColumns));
        rows::bind(project, ProjectRecord{kProject, projectName.blob, projectName.wrappedKey, 0, now, false});
        project.exec();
        SQLite::Statement item(db, rows::insertSql(rows::kItemColumns));
        SQLite::Statement op(db, rows::insertSql(rows::kPendingOpColumns));
        for (int i = 0; i < items; ++i) {
            const auto id = Uuid::random();
            const auto body = itemlayout::itemBody(id, kGroup, "login",
                                                   itemlayout::sealPayload(crypto, payloadFor(itemName(i), i), id, key),
                                                   "injectable", 1, now);
            item.reset();
            rows::bind(item, body.toRecord(false));
            item.exec();
            op.reset();
            rows::bind(op, PendingOpRecord{Uuid::random(), PendingOpRecord::Kind::create, id,
                                           bytesOf(toJsonText(body)), 1, now + std::chrono::milliseconds(i)});
            op.exec();
        }
        transaction.commit();
    }
    ~Replica() { std::filesystem::remove_all(dir); }
};

// What an unlock opens: the store, the unlocked keys, the engine, the item source and the socket.
struct Session {
    std::shared_ptr<VaelStore> store;
    std::shared_ptr<VaultCrypto> crypto;
    std::shared_ptr<StoreVaultItemSource> source;
    std::unique_ptr<VaultUDSServer> server;
    std::string socketPath;

    explicit Session(const Replica& replica) : socketPath(replica.dir + "/vael.sock") {
        store = std::make_shared<VaelStore>(replica.path);
        crypto = std::make_shared<VaultCrypto>(kCheap);
        crypto->unlock(replica.made.wrappedKeys, replica.made.wrappedAccountPrivKeys,
                       UnlockInput::passphrase(SecureBytes(std::string_view(kPassphrase))));
        auto key = crypto->unwrapCollectionKey(replica.wrappedGroupKey);
        auto engine = std::make_shared<SyncEngine>(store, std::make_shared<OfflineAPI>(),
                                                   std::make_shared<SystemClock>(), std::make_shared<NoPause>());
        source = std::make_shared<StoreVaultItemSource>(
            store, crypto, StoreVaultItemSource::Defaults{kProject, "Personal", kGroup, "local", key}, engine,
            nullptr);
        server = std::make_unique<VaultUDSServer>(
            socketPath, VaultResolver(source, std::make_shared<NeverGate>(), [] { return false; }));
        server->start();
    }
    ~Session() {
        server->stop();
        server.reset();
        crypto->lock();
    }
};

// One agent connection; every answer is checked, so a refusal or an error never passes for speed.
class Agent {
public:
    explicit Agent(const std::string& path) : fd_(bench::connectTo(path)) {}
    ~Agent() { ::close(fd_); }
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    void send(const std::string& line, std::string_view mustContain) {
        const auto have = bench::roundTrip(fd_, line, buffer_, sizeof buffer_);
        if (std::string_view(buffer_, have).find(mustContain) == std::string_view::npos) {
            std::fprintf(stderr, "unexpected answer to %s: %.*s\n", line.c_str(), static_cast<int>(have), buffer_);
            std::abort();
        }
    }
    double timed(const std::string& line, std::string_view mustContain) {
        const auto start = Steady::now();
        send(line, mustContain);
        return micros(Steady::now() - start);
    }

private:
    int fd_;
    char buffer_[8192];
};

std::string resolveLine(int i) {
    return R"({"op":"resolve","ref":"vael://local/)" + itemName(i) + R"(/password"})" "\n";
}
std::string updateLine(int i, int serial) {
    return R"({"op":"secret_update","ref":"vael://local/)" + itemName(i) + R"(/password","value":"pw-)" +
           std::to_string(i) + "-" + std::to_string(serial) + R"("})" "\n";
}
std::string createLine(const std::string& name) {
    return R"({"op":"secret_create","name":")" + name + R"(","value":"v","field_label":"password","kind":"password","ai_access":"injectable"})" "\n";
}
constexpr std::string_view kAllowed = "\"allowed\"";
constexpr std::string_view kSecret = "\"field_label\"";

// Sends back whatever arrives on fd until the peer is gone.
void echoUntilClosed(int fd) {
    char buffer[8192];
    for (;;) {
        auto n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return;
        if (::send(fd, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) return;
    }
}

double timedEcho(int fd, const std::string& line) {
    char buffer[8192];
    const auto start = Steady::now();
    bench::roundTrip(fd, line, buffer, sizeof buffer);
    return micros(Steady::now() - start);
}

// The floor: the same line over a socket pair with a trivial echo thread.
class Echo {
public:
    Echo() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair_) != 0) std::abort();
        thread_ = std::thread(echoUntilClosed, pair_[1]);
    }
    ~Echo() {
        ::shutdown(pair_[0], SHUT_RDWR);
        thread_.join();
        ::close(pair_[0]);
        ::close(pair_[1]);
    }
    double timed(const std::string& line) { return timedEcho(pair_[0], line); }

private:
    int pair_[2];
    std::thread thread_;
};

// The floor as the agent meets it: a raw echo server on a Unix socket path that, like the vault's
// server, accepts on its own thread and serves each connection on a thread of its own.
class EchoServer {
public:
    explicit EchoServer(const std::string& dir) : path_(dir + "/echo.sock") {
        listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path_.data(), path_.size());
        if (::bind(listen_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listen_, 64) != 0) {
            std::abort();
        }
        accepter_ = std::thread([this] {
            for (;;) {
                int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) return;
                std::lock_guard lock(mutex_);
                fds_.push_back(fd);
                served_.emplace_back(echoUntilClosed, fd);
            }
        });
        client_ = bench::connectTo(path_);
    }
    ~EchoServer() {
        ::close(client_);
        ::shutdown(listen_, SHUT_RDWR);
        accepter_.join();
        ::close(listen_);
        for (int fd : fds_) ::shutdown(fd, SHUT_RDWR);
        for (auto& t : served_) t.join();
        for (int fd : fds_) ::close(fd);
        ::unlink(path_.c_str());
    }
    double timed(const std::string& line) { return timedEcho(client_, line); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int listen_ = -1;
    int client_ = -1;
    std::thread accepter_;
    std::mutex mutex_;
    std::vector<int> fds_;
    std::vector<std::thread> served_;
};

// The median round trip of an agent in a process of its own (agent_path_client, beside this program)
// sending `lines` twice over a new connection to `socketPath`, timing the second pass.
double clientMedian(const std::string& socketPath, const std::string& lines, const std::string& expected) {
    const auto folder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const std::string client = (folder / "agent_path_client").string();
    const auto input = std::filesystem::path(socketPath).parent_path() / "client-lines.txt";
    {
        std::FILE* file = std::fopen(input.c_str(), "w");
        if (!file || std::fwrite(lines.data(), 1, lines.size(), file) != lines.size()) std::abort();
        std::fclose(file);
    }
    int out[2];
    if (::pipe(out) != 0) std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv{const_cast<char*>(client.c_str()), const_cast<char*>(socketPath.c_str()),
                            const_cast<char*>(expected.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, client.c_str(), &actions, nullptr, argv.data(), environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string printed;
    char chunk[256];
    for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) > 0;) printed.append(chunk, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
    return std::stod(printed);
}

// Requests per second over `connections` connections for about `seconds`; each connection resolves
// items at random.
double resolveThroughput(const std::string& path, int connections, double seconds) {
    std::atomic<bool> stop{false};
    std::atomic<long> done{0};
    std::vector<std::thread> threads;
    const auto start = Steady::now();
    for (int c = 0; c < connections; ++c) {
        threads.emplace_back([&, c] {
            Agent agent(path);
            std::mt19937 random(static_cast<unsigned>(c + 1));
            std::uniform_int_distribution<int> pick(0, kItems - 1);
            long mine = 0;
            while (!stop.load(std::memory_order_relaxed)) {
                agent.send(resolveLine(pick(random)), kAllowed);
                ++mine;
            }
            done += mine;
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& t : threads) t.join();
    return static_cast<double>(done.load()) / std::chrono::duration<double>(Steady::now() - start).count();
}

double echoThroughput(int connections, double seconds) {
    std::atomic<bool> stop{false};
    std::atomic<long> done{0};
    std::vector<std::thread> threads;
    const auto line = resolveLine(42);
    const auto start = Steady::now();
    for (int c = 0; c < connections; ++c) {
        threads.emplace_back([&] {
            Echo echo;
            long mine = 0;
            while (!stop.load(std::memory_order_relaxed)) {
                echo.timed(line);
                ++mine;
            }
            done += mine;
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& t : threads) t.join();
    return static_cast<double>(done.load()) / std::chrono::duration<double>(Steady::now() - start).count();
}

using Figures = std::map<std::string, double>;

Figures round(Replica& replica, int serial) {
    Figures f;
    std::mt19937 random(static_cast<unsigned>(serial * 7919 + 1));
    std::uniform_int_distribution<int> pick(0, kItems - 1);
    Echo echo;

    {
        Session session(replica);
        Agent agent(session.socketPath);
        f["first write after unlock (create), ms"] =
            agent.timed(createLine("first-" + std::to_string(serial)), kSecret) / 1000;
    }
    {
        Session session(replica);
        Agent agent(session.socketPath);
        f["first write after unlock (update), ms"] = agent.timed(updateLine(pick(random), serial), kSecret) / 1000;
    }
    {
        Session session(replica);
        Agent agent(session.socketPath);
        f["first resolve after unlock, ms"] = agent.timed(resolveLine(pick(random)), kAllowed) / 1000;
    }

    Session session(replica);
    Agent agent(session.socketPath);

    // A name this session has not resolved yet, then the same names again (warm), and the echo,
    // interleaved in blocks so all three see the same machine.
    std::vector<int> names;
    for (int i = 0; i < 2000; ++i) names.push_back(pick(random));
    EchoServer echoServer(replica.dir);
    std::vector<double> cold, warm, floor, serverFloor;
    for (int block = 0; block < 20; ++block) {
        for (int i = 0; i < 100; ++i) cold.push_back(agent.timed(resolveLine(names[block * 100 + i]), kAllowed));
        for (int i = 0; i < 100; ++i) warm.push_back(agent.timed(resolveLine(names[block * 100 + i]), kAllowed));
        for (int i = 0; i < 100; ++i) serverFloor.push_back(echoServer.timed(resolveLine(42)));
        for (int i = 0; i < 100; ++i) floor.push_back(echo.timed(resolveLine(42)));
    }
    f["echo round trip p50, us"] = percentile(floor, 0.5);
    f["echo server round trip p50, us"] = percentile(serverFloor, 0.5);
    f["first resolve of a name in a warm session p50, us"] = percentile(cold, 0.5);
    f["warm resolve p50, us"] = percentile(warm, 0.5);
    f["warm resolve / echo (p50)"] = percentile(warm, 0.5) / percentile(floor, 0.5);
    f["warm resolve / echo server (p50)"] = percentile(warm, 0.5) / percentile(serverFloor, 0.5);

    // The same from an agent in a process of its own, as agents are, alternating with the echo server.
    std::string warmLines, echoLines;
    for (int name : names) warmLines += resolveLine(name);
    for (std::size_t i = 0; i < names.size(); ++i) echoLines += resolveLine(42);
    std::vector<double> processWarm, processFloor;
    for (int turn = 0; turn < 3; ++turn) {
        processWarm.push_back(clientMedian(session.socketPath, warmLines, std::string(kAllowed)));
        processFloor.push_back(clientMedian(echoServer.path(), echoLines, "resolve"));
    }
    f["agent process: echo server round trip p50, us"] = percentile(processFloor, 0.5);
    f["agent process: warm resolve p50, us"] = percentile(processWarm, 0.5);
    f["agent process: warm resolve / echo server (p50)"] =
        percentile(processWarm, 0.5) / percentile(processFloor, 0.5);

    std::vector<double> afterUpdate, afterCreate, creates;
    for (int i = 0; i < 100; ++i) {
        agent.send(updateLine(pick(random), serial * 1000 + i), kSecret);
        afterUpdate.push_back(agent.timed(resolveLine(pick(random)), kAllowed));
    }
    for (int i = 0; i < 100; ++i) {
        creates.push_back(agent.timed(createLine("new-" + std::to_string(serial) + "-" + std::to_string(i)), kSecret));
        afterCreate.push_back(agent.timed(resolveLine(pick(random)), kAllowed));
    }
    f["first resolve after update p50, us"] = percentile(afterUpdate, 0.5);
    f["first resolve after update p99, us"] = percentile(afterUpdate, 0.99);
    f["first resolve after create p50, us"] = percentile(afterCreate, 0.5);
    f["first resolve after create p99, us"] = percentile(afterCreate, 0.99);
    f["secret_create p50 at 10k, ms"] = percentile(creates, 0.5) / 1000;

    // One update per ten resolves, for about a second.
    {
        const auto start = Steady::now();
        long ops = 0;
        while (Steady::now() - start < std::chrono::seconds(1)) {
            agent.send(updateLine(pick(random), serial * 100000 + static_cast<int>(ops)), kSecret);
            for (int i = 0; i < 10; ++i) agent.send(resolveLine(pick(random)), kAllowed);
            ops += 11;
        }
        f["mixed 1 update : 10 resolves, ops/s"] =
            static_cast<double>(ops) / std::chrono::duration<double>(Steady::now() - start).count();
    }

    f["16 connections resolves/s"] = resolveThroughput(session.socketPath, 16, 1.0);
    f["16 connections echo/s"] = echoThroughput(16, 1.0);
    return f;
}

// secret_create into an empty vault, to set beside the same at 10,000 items.
double createIntoEmptyVault(int serial) {
    Replica empty(0);
    Session session(empty);
    Agent agent(session.socketPath);
    std::vector<double> creates;
    for (int i = 0; i < 100; ++i)
        creates.push_back(agent.timed(createLine("fill-" + std::to_string(serial) + "-" + std::to_string(i)), kSecret));
    return percentile(creates, 0.5) / 1000;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::fprintf(stderr, "seeding a replica of %d items and %d queued creations...\n", kItems, kItems);
    Replica replica(kItems);
    {
        Session session(replica);
        Agent agent(session.socketPath);
        std::printf("first search of the untagged replica (once), ms: %.3f\n",
                    agent.timed(resolveLine(0), kAllowed) / 1000);
    }
    std::map<std::string, std::vector<double>> all;
    for (int r = 0; r < rounds; ++r) {
        std::fprintf(stderr, "round %d of %d\n", r + 1, rounds);
        for (const auto& [name, value] : round(replica, r)) all[name].push_back(value);
        const double empty = createIntoEmptyVault(r);
        all["secret_create p50 in an empty vault, ms"].push_back(empty);
        all["secret_create growth: at 10k / empty"].push_back(all["secret_create p50 at 10k, ms"].back() / empty);
    }
    std::printf("%-52s %12s %24s\n", "figure (10,000 items)", "median", "range over rounds");
    for (auto& [name, values] : all) {
        std::sort(values.begin(), values.end());
        std::printf("%-52s %12.3f %11.3f .. %-11.3f\n", name.c_str(), percentile(values, 0.5), values.front(),
                    values.back());
    }
    return 0;
}
