#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <thread>

#include <SQLiteCpp/Exception.h>
#include <sqlite3.h>

#include <system_error>

#include "Fixtures.h"
#include "app/agent/VaultUDSServer.h"
#include "crypto/CryptoError.h"
#include "store/SyncTypes.h"

using namespace vael;
using vael::testing::FixtureItemSource;
using vael::testing::ScriptedGate;
using MCase = VaultUDSManagementError::Case;

namespace {

const std::string kRefusal = R"({"decision":"refused","ai_access":"ai_hidden"})";

class TempDir {
public:
    TempDir() {
        std::string pattern = "/tmp/vael-agent-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

int connectTo(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    // A server that forgets to answer fails the test instead of hanging it.
    timeval limit{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

// One agent's end of a connection.
class Client {
public:
    explicit Client(const std::string& path) : fd_(connectTo(path)) {
        if (fd_ < 0) throw std::runtime_error("connect failed");
    }
    ~Client() { close(); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }

    void send(std::string_view bytes) {
        while (!bytes.empty()) {
            auto n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) throw std::runtime_error("send failed");
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    // The next answer line without its line feed; nothing once the server has closed.
    std::optional<std::string> line() {
        for (;;) {
            if (auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string out = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return out;
            }
            char chunk[65536];
            auto n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    std::string ask(std::string_view request) {
        send(std::string(request) + "\n");
        auto answer = line();
        if (!answer) throw std::runtime_error("connection closed without an answer");
        return *answer;
    }
    // True when the server closed without sending anything more.
    bool closedWithoutAByte() {
        if (!buffer_.empty()) return false;
        char byte;
        auto n = ::read(fd_, &byte, 1);
        return n == 0 || (n < 0 && errno == ECONNRESET);
    }

private:
    int fd_;
    std::string buffer_;
};

class ThrowingSource : public FixtureItemSource {
public:
    std::optional<ResolvedItem> lookup(const VaultRef&) override { throw std::runtime_error("store failed"); }
};

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { makeServer(std::make_shared<FixtureItemSource>()); }

    void makeServer(std::shared_ptr<FixtureItemSource> itemSource, std::string path = {}) {
        server.reset();
        source = std::move(itemSource);
        socketPath = path.empty() ? dir.path() + "/vael.sock" : std::move(path);
        server = std::make_unique<VaultUDSServer>(
            socketPath, VaultResolver(source, gate, [this] { return killSwitch.load(); }), [this] { ++activity; });
        source->add("local", "GitHub", "password",
                    ResolvedItem{UDSAIAccess::humanGated, "hunter2/x", "password", "GitHub"});
        source->add("local", "token", "value",
                    ResolvedItem{UDSAIAccess::injectable, "tok/123", "token", "token", std::nullopt,
                                 std::vector<std::string>{"a.test"}});
    }

    TempDir dir;
    std::string socketPath;
    std::shared_ptr<FixtureItemSource> source;
    std::shared_ptr<ScriptedGate> gate = std::make_shared<ScriptedGate>();
    std::atomic<bool> killSwitch{false};
    std::atomic<int> activity{0};
    std::unique_ptr<VaultUDSServer> server;
};

const char* kResolveToken = R"({"op":"resolve","ref":"vael://local/token/value"})";
const char* kTokenAnswer =
    R"({"decision":"allowed","ai_access":"injectable","value":"tok/123","type":"token","allowed_hosts":["a.test"]})";
const char* kResolveGated = R"({"op":"resolve","ref":"vael://local/GitHub/password","approved":true})";

}  // namespace

TEST_F(ServerTest, StartReplacesAStaleFileWithAPrivateSocketAndRestoresTheUmask) {
    { std::ofstream stale(socketPath); }
    auto before = ::umask(022);
    server->start();
    auto during = ::umask(before);
    EXPECT_EQ(during, 022);
    struct stat info {};
    ASSERT_EQ(::stat(socketPath.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600);
    Client client(socketPath);
    EXPECT_EQ(client.ask(kResolveToken), kTokenAnswer);
}

TEST_F(ServerTest, FailedStartRestoresTheUmaskAndLeavesNothingBehind) {
    makeServer(source, dir.path() + "/missing/vael.sock");
    auto before = ::umask(022);
    try {
        server->start();
        ADD_FAILURE() << "bind into a missing folder succeeded";
    } catch (const VaultUDSServer::UDSError& e) {
        EXPECT_EQ(e, VaultUDSServer::UDSError(VaultUDSServer::UDSError::Case::bind, ENOENT));
    }
    EXPECT_EQ(::umask(before), 022);
    server->stop();
}

TEST_F(ServerTest, SocketPathsLongerThan107BytesFailBeforeAnythingIsTouched) {
    std::string base = dir.path() + "/";
    std::string longest = base + std::string(107 - base.size(), 'x');
    std::string tooLong = longest + "y";
    makeServer(source, tooLong);
    try {
        server->start();
        ADD_FAILURE() << "a 108-byte socket path was accepted";
    } catch (const VaultUDSServer::UDSError& e) {
        EXPECT_EQ(e.code(), VaultUDSServer::UDSError::Case::path);
        EXPECT_EQ(e.error(), ENAMETOOLONG);
        EXPECT_NE(std::string(e.what()).find("107 bytes"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(longest));

    makeServer(source, longest);
    server->start();
    Client client(longest);
    EXPECT_EQ(client.ask(kResolveToken), kTokenAnswer);
}

TEST_F(ServerTest, AnswersEveryLineInOrderWhateverTheWritesLookLike) {
    server->start();
    Client client(socketPath);
    client.send(std::string(kResolveToken) + "\n" + R"({"op":"preview","ref":"vael://local/token/value"})" + "\r\n");
    EXPECT_EQ(client.line(), kTokenAnswer);
    EXPECT_EQ(client.line(), R"({"decision":"allowed","ai_access":"injectable","type":"token","length":7,)"
                             R"("allowed_hosts":["a.test"]})");

    std::string request = std::string(kResolveToken) + "\n";
    for (char c : request) client.send(std::string(1, c));
    EXPECT_EQ(client.line(), kTokenAnswer);
    EXPECT_EQ(activity, 3);
}

TEST_F(ServerTest, UndecodableLinesAreRefusedWithoutActivityAndTheConnectionGoesOn) {
    server->start();
    Client client(socketPath);
    client.send("\nnot json\n{\"op\":\"nope\"}\n{\"op\":\"resolve\",\"approved\":1}\n");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(client.line(), kRefusal) << i;
    EXPECT_EQ(activity, 0);
    EXPECT_EQ(client.ask(R"({"op":"resolve"})"), kRefusal);
    EXPECT_EQ(activity, 1);
}

TEST_F(ServerTest, ManagementFailuresComeBackAsErrorEnvelopes) {
    server->start();
    Client client(socketPath);
    EXPECT_EQ(client.ask(R"({"op":"project_create","name":"x"})"), R"({"error":"operation not supported by this vault"})");
    source->failWith(std::make_exception_ptr(VaultUDSManagementError(MCase::notFound)));
    EXPECT_EQ(client.ask(R"({"op":"secret_get","ref":"vael://local/a/b"})"),
              "{\"error\":\"not found \u2014 no matching secret/group/project (use the exact ref/name from secret_list "
              "or group_list)\"}");
    source->failWith(std::make_exception_ptr(VaelCryptoError(VaelCryptoError::Code::Locked, "locked")));
    EXPECT_EQ(client.ask(R"({"op":"list"})"), "{\"error\":\"vault is locked \u2014 open Vael and unlock it, then retry\"}");
    EXPECT_EQ(activity, 3);
}

TEST_F(ServerTest, KillSwitchAnswersAnEmptyListRefusalsAndUnsupportedButStillListsGroups) {
    source->setEntries({{"vael://local/token/value", "token", "token", UDSAIAccess::injectable}});
    server->start();
    Client client(socketPath);
    EXPECT_EQ(client.ask(R"({"op":"list"})"),
              R"([{"ref":"vael://local/token/value","name":"token","type":"token","ai_access":"injectable"}])");
    killSwitch = true;
    EXPECT_EQ(client.ask(R"({"op":"list"})"), "[]");
    EXPECT_EQ(client.ask(kResolveToken), kRefusal);
    EXPECT_EQ(client.ask(R"({"op":"capture","url":"https://a.test"})"),
              R"({"error":"operation not supported by this vault"})");
    EXPECT_EQ(client.ask(R"({"op":"group_list"})"), R"({"groups":[{"id":"G","name":"local","project":"Personal"}]})");
    EXPECT_EQ(client.ask(R"({"op":"project_list"})"), R"({"projects":[{"id":"P","name":"Personal"}]})");
}

TEST_F(ServerTest, ResolveWhoseWorkThrowsIsRefusedNeverAnEnvelope) {
    makeServer(std::make_shared<ThrowingSource>());
    server->start();
    Client client(socketPath);
    EXPECT_EQ(client.ask(kResolveToken), kRefusal);
    EXPECT_EQ(client.ask(R"({"op":"preview","ref":"vael://local/token/value"})"), kRefusal);
}

TEST_F(ServerTest, AnAnswerThatCannotBeEncodedStillGetsExactlyOneLine) {
    source->add("local", "bad", "value", ResolvedItem{UDSAIAccess::injectable, "\xff\xfe", "token", "bad"});
    source->setGroup(VaultUDSGroup{"G", "bad \xff name", "Personal", std::nullopt});
    server->start();
    Client client(socketPath);
    client.send(std::string(R"({"op":"resolve","ref":"vael://local/bad/value"})") + "\n" +
                R"({"op":"group_get","group":"x"})" + "\n" + kResolveToken + "\n");
    EXPECT_EQ(client.line(), kRefusal);
    EXPECT_EQ(client.line(), R"({"error":"vault error: type_error"})");
    EXPECT_EQ(client.line(), kTokenAnswer);
}

TEST_F(ServerTest, AnUnterminatedLastLineIsNeverAnswered) {
    server->start();
    Client client(socketPath);
    client.send(kResolveToken);
    ::shutdown(client.fd(), SHUT_WR);
    EXPECT_TRUE(client.closedWithoutAByte());
}

TEST_F(ServerTest, ALineOverTheCapIsRefusedAndTheConnectionClosed) {
    server->start();
    // Exactly at the cap: an ordinary request.
    std::string head = R"({"op":"list","query":")";
    std::string atCap = head + std::string(VaultUDSServer::kMaxLineBytes - head.size() - 2, 'q') + "\"}";
    ASSERT_EQ(atCap.size(), VaultUDSServer::kMaxLineBytes);
    Client client(socketPath);
    EXPECT_EQ(client.ask(atCap), "[]");

    Client endless(socketPath);
    endless.send(std::string(VaultUDSServer::kMaxLineBytes + 1, ' '));
    EXPECT_EQ(endless.line(), kRefusal);
    EXPECT_TRUE(endless.closedWithoutAByte());
    EXPECT_EQ(activity, 1);
}

TEST_F(ServerTest, AConnectionWaitingOnApprovalDelaysNoOther) {
    gate->hold();
    gate->script({true});
    server->start();
    Client waiting(socketPath);
    waiting.send(std::string(kResolveGated) + "\n");
    gate->waitForPrompts(1);

    Client other(socketPath);
    EXPECT_EQ(other.ask(kResolveToken), kTokenAnswer);

    gate->release();
    EXPECT_EQ(waiting.line(), R"({"decision":"allowed","ai_access":"human_gated","value":"hunter2/x","type":"password"})");
    EXPECT_EQ(gate->reasons(), std::vector<std::string>{"Reveal GitHub to an automated action"});
}

TEST_F(ServerTest, StopClosesIdleConnectionsAndLetsABusyOneFinishItsBatch) {
    server->start();
    Client idle(socketPath);
    EXPECT_EQ(idle.ask(kResolveToken), kTokenAnswer);
    gate->hold();
    gate->script({true});
    Client waiting(socketPath);
    waiting.send(std::string(kResolveGated) + "\n" + kResolveToken + "\n");
    gate->waitForPrompts(1);

    server->stop();  // returns only once the accept loop has ended
    EXPECT_FALSE(std::filesystem::exists(socketPath));
    EXPECT_EQ(connectTo(socketPath), -1);
    // An idle connection is closed at once: nothing it sends later reaches a session that ended.
    EXPECT_TRUE(idle.closedWithoutAByte());

    gate->release();
    EXPECT_EQ(waiting.line(), R"({"decision":"allowed","ai_access":"human_gated","value":"hunter2/x","type":"password"})");
    EXPECT_EQ(waiting.line(), kTokenAnswer);
    EXPECT_TRUE(waiting.closedWithoutAByte());
    server->stop();
}

TEST_F(ServerTest, ConnectionsOverTheLimitAreToldSoAndClosed) {
    server->start();
    std::vector<std::unique_ptr<Client>> clients;
    for (std::size_t i = 0; i < VaultUDSServer::kMaxConnections; ++i) {
        clients.push_back(std::make_unique<Client>(socketPath));
        EXPECT_EQ(clients.back()->ask(kResolveToken), kTokenAnswer);
    }
    Client refused(socketPath);
    EXPECT_EQ(refused.line(), R"({"error":"too many open connections — close an idle one, then retry"})");
    EXPECT_TRUE(refused.closedWithoutAByte());

    // A place that frees up is taken by the next connection, once the server has seen it close.
    clients.front()->close();
    for (int attempt = 0; attempt < 200; ++attempt) {
        Client next(socketPath);
        try {
            next.send(std::string(kResolveToken) + "\n");
            if (next.line() == kTokenAnswer) return;
        } catch (const std::runtime_error&) {
            // refused and closed before the request went out
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "a freed place was never taken again";
}

TEST_F(ServerTest, APeerThatLeavesBeforeItsAnswerDoesNotHurtTheServer) {
    gate->hold();
    gate->script({true});
    server->start();
    {
        Client leaving(socketPath);
        leaving.send(std::string(kResolveGated) + "\n");
        gate->waitForPrompts(1);
    }
    gate->release();  // the answer now goes to a closed peer: EPIPE, never SIGPIPE
    Client next(socketPath);
    EXPECT_EQ(next.ask(kResolveToken), kTokenAnswer);
}

TEST_F(ServerTest, AnAnswerLargerThanTheSocketBufferArrivesWholeAndInOrder) {
    std::vector<VaultUDSListEntry> entries;
    for (int i = 0; i < 40000; ++i) {
        entries.push_back({"vael://local/item-" + std::to_string(i) + "/password", "item " + std::to_string(i),
                           "password", UDSAIAccess::humanGated});
    }
    source->setEntries(entries);
    server->start();
    Client client(socketPath);
    client.send(std::string(R"({"op":"list"})") + "\n" + kResolveToken + "\n");
    auto list = client.line();
    ASSERT_TRUE(list);
    EXPECT_GT(list->size(), 2'000'000u);
    EXPECT_EQ(decodeAnswerLine<std::vector<VaultUDSListEntry>>(*list), entries);
    EXPECT_EQ(client.line(), kTokenAnswer);
}

TEST_F(ServerTest, AcceptingRecoversAfterRunningOutOfDescriptors) {
    server->start();
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> fillers;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers.push_back(fd);
    ASSERT_EQ(errno, EMFILE);
    ::close(fillers.back());
    fillers.pop_back();

    // The last free descriptor goes to the client, so the server's accept fails with EMFILE.
    int fd = connectTo(socketPath);
    ASSERT_GE(fd, 0);
    std::string request = std::string(kResolveToken) + "\n";
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));

    // Descriptors free again (with room to spare: the sanitizers open pipes for their own checks).
    for (int i = 0; i < 8; ++i) {
        ::close(fillers.back());
        fillers.pop_back();
    }
    std::string answer;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n') answer.push_back(c);
    EXPECT_EQ(answer, kTokenAnswer);

    ::close(fd);
    for (int f : fillers) ::close(f);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    server->stop();
}

TEST_F(ServerTest, APeerOfAnotherUserIsClosedWithoutAByte) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    server->start();
    // This test only: let the other user reach the socket, so that the peer check is what stops it.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(socketPath.c_str(), 0777), 0);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
        int fd = connectTo(socketPath);
        if (fd < 0) ::_exit(11);
        std::string request = std::string(kResolveToken) + "\n";
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char byte;
        auto n = ::read(fd, &byte, 1);
        ::_exit(n == 0 || (n < 0 && errno == ECONNRESET) ? 0 : 12);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(activity, 0);
    EXPECT_TRUE(source->calls().empty());

    Client same(socketPath);
    EXPECT_EQ(same.ask(kResolveToken), kTokenAnswer);
}

TEST(WireMessage, MapsEveryErrorToItsFixedText) {
    auto message = [](auto error) { return VaultUDSServer::wireMessage(std::make_exception_ptr(error)); };
    EXPECT_EQ(message(VaultUDSManagementError(MCase::unsupported)), "operation not supported by this vault");
    EXPECT_EQ(message(VaultUDSManagementError(MCase::invalid)), "invalid or missing argument");
    EXPECT_EQ(message(VaultUDSManagementError(MCase::protectedDefault)),
              "the built-in default group/project cannot be deleted");
    EXPECT_EQ(message(VaultUDSManagementError(MCase::cancelled)), "cancelled by the user");
    for (auto c : {VaultRef::ParseError::Case::badScheme, VaultRef::ParseError::Case::badPath,
                   VaultRef::ParseError::Case::badAttribute}) {
        EXPECT_EQ(message(VaultRef::ParseError(c)),
                  "bad ref \u2014 expected vael://<group>/<item>/<field> exactly as returned by secret_list "
                  "(percent-encoded)");
    }
    EXPECT_EQ(message(TOTPError("bad seed")), "the item's otp field is not a valid base32 TOTP seed");
    EXPECT_EQ(message(VaelCryptoError(VaelCryptoError::Code::Locked, "x")),
              "vault is locked \u2014 open Vael and unlock it, then retry");
    EXPECT_EQ(message(VaelCryptoError(VaelCryptoError::Code::AuthenticationFailed, "secret detail")),
              "vault error: VaelCryptoError");
    EXPECT_EQ(message(std::runtime_error("secret detail")), "vault error: runtime_error");
    EXPECT_EQ(message(VaultUDSServer::UDSError(VaultUDSServer::UDSError::Case::bind, EACCES)),
              "vault error: UDSError");
    EXPECT_EQ(message(42), "vault error: int");
    // What a write meets at the server: the item gone there, or changed there since it was read.
    EXPECT_EQ(message(SyncAPIError::notFound()),
              "not found \u2014 no matching secret/group/project (use the exact ref/name from secret_list or group_list)");
    EXPECT_EQ(message(SyncAPIError::conflict(7)),
              "conflict \u2014 the change was not written: the item was changed elsewhere since it was read; read it "
              "again and retry");
    // A storage fault is named by its cause, never by its text.
    EXPECT_EQ(message(SQLite::Exception("database or disk is full", SQLITE_FULL)), "vault error: disk full");
    EXPECT_EQ(message(SQLite::Exception("attempt to write a readonly database", SQLITE_READONLY)),
              "vault error: read-only");
    EXPECT_EQ(message(SQLite::Exception("file is not a database", SQLITE_NOTADB)), "vault error: damaged");
    EXPECT_EQ(message(std::system_error(std::make_error_code(std::errc::no_space_on_device), "secret detail")),
              "vault error: disk full");
}
