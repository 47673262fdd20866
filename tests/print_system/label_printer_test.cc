// The simulated label printer, driven over TCP directly.

#include "tests/support/label_printer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/command_runner.h"
#include "tests/support/file_util.h"
#include "tests/support/scratch_directory.h"

namespace corvella::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Mode = LabelPrinter::Mode;

constexpr auto kWait = std::chrono::seconds(10);

// A client connection; connect() reports errno on failure.
class Client {
 public:
  ~Client() { close(); }
  int connect(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return errno;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return errno;
    return 0;
  }
  bool send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }
  // Waits for the peer to end the connection: true on end of file or reset.
  bool endedByPeer(std::chrono::milliseconds timeout) {
    pollfd fd{fd_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(timeout.count())) != 1) return false;
    char byte;
    ssize_t n = ::recv(fd_, &byte, 1, 0);
    return n == 0 || (n < 0 && errno == ECONNRESET);
  }
  int fd() const { return fd_; }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

class LabelPrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(scratch_.create("corvella-printer-test", &error)) << error;
    jobs_ = scratch_.path() + "/jobs";
  }

  void startPrinter(Mode mode, uint16_t port = 0) {
    ASSERT_TRUE(printer_.start(jobs_, mode, port)) << printer_.error();
    ASSERT_NE(printer_.port(), 0);
  }

  // Files in the job directory other than finished jobs.
  std::vector<std::string> hiddenFiles() {
    std::vector<std::string> names;
    CommandResult listing = RunCommand({"/bin/ls", "-A", jobs_});
    size_t start = 0;
    for (size_t end; (end = listing.out.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string name = listing.out.substr(start, end - start);
      if (name[0] == '.' && name != ".port") names.push_back(name);
    }
    return names;
  }

  ScratchDirectory scratch_;
  std::string jobs_;
  LabelPrinter printer_;
};

TEST_F(LabelPrinterTest, KeepsEachConnectionAsOneJobInArrivalOrder) {
  startPrinter(Mode::kRecord);
  EXPECT_EQ(printer_.uri(), "socket://127.0.0.1:" + std::to_string(printer_.port()));
  {
    Client first;
    ASSERT_EQ(first.connect(printer_.port()), 0);
    ASSERT_TRUE(first.send("^XA^FDone^FS^XZ"));
  }
  ASSERT_EQ(printer_.waitForJobs(1, kWait).size(), 1u);
  const std::string binary("\x00\xff\r\n\x1b", 5);
  {
    Client second;
    ASSERT_EQ(second.connect(printer_.port()), 0);
    ASSERT_TRUE(second.send("part one|"));
    ASSERT_TRUE(second.send(binary));
    ASSERT_TRUE(second.send(std::string(200000, 'z')));
  }
  {
    Client empty;
    ASSERT_EQ(empty.connect(printer_.port()), 0);
  }
  std::vector<std::string> jobs = printer_.waitForJobs(3, kWait);
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs[0], "^XA^FDone^FS^XZ");
  EXPECT_TRUE(jobs[1] == "part one|" + binary + std::string(200000, 'z')) << jobs[1].size();
  EXPECT_EQ(jobs[2], "");
  EXPECT_TRUE(PathExists(jobs_ + "/job-000001.bin"));
  EXPECT_TRUE(PathExists(jobs_ + "/job-000003.bin"));
}

TEST_F(LabelPrinterTest, JobIsInvisibleUntilItsConnectionCloses) {
  startPrinter(Mode::kRecord);
  Client client;
  ASSERT_EQ(client.connect(printer_.port()), 0);
  ASSERT_TRUE(client.send("half a label"));
  // The bytes have arrived once the hidden file holds them.
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  while (ReadFile(jobs_ + "/.job-000001.bin.part").value_or("") != "half a label") {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the bytes never arrived";
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_THAT(printer_.jobs(), IsEmpty());
  ASSERT_TRUE(client.send(" and the rest"));
  client.close();
  EXPECT_THAT(printer_.waitForJobs(1, kWait), ElementsAre("half a label and the rest"));
  EXPECT_THAT(hiddenFiles(), IsEmpty());
}

TEST_F(LabelPrinterTest, StoppingDropsUnfinishedConnections) {
  startPrinter(Mode::kRecord);
  Client client;
  ASSERT_EQ(client.connect(printer_.port()), 0);
  ASSERT_TRUE(client.send("never finished"));
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  while (!PathExists(jobs_ + "/.job-000001.bin.part")) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(printer_.stop());
  EXPECT_FALSE(printer_.running());
  EXPECT_THAT(printer_.jobs(), IsEmpty());
  EXPECT_THAT(hiddenFiles(), IsEmpty());
}

TEST_F(LabelPrinterTest, CloseModeEndsConnectionsAtOnceAndKeepsNothing) {
  startPrinter(Mode::kClose);
  Client client;
  ASSERT_EQ(client.connect(printer_.port()), 0);
  EXPECT_TRUE(client.endedByPeer(kWait));
  EXPECT_THAT(printer_.jobs(), IsEmpty());
}

TEST_F(LabelPrinterTest, StallModeAcceptsButNeverReads) {
  startPrinter(Mode::kStall);
  Client client;
  ASSERT_EQ(client.connect(printer_.port()), 0);
  ASSERT_EQ(::fcntl(client.fd(), F_SETFL, O_NONBLOCK), 0);
  // Writing must come to a stop once the socket buffers are full.
  const std::string chunk(65536, 's');
  size_t sent = 0;
  bool blocked = false;
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  while (std::chrono::steady_clock::now() < deadline && sent < (256u << 20)) {
    ssize_t n = ::send(client.fd(), chunk.data(), chunk.size(), MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    ASSERT_TRUE(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) << std::strerror(errno);
    // Give the printer a moment to read, which it must not do.
    pollfd fd{client.fd(), POLLOUT, 0};
    if (::poll(&fd, 1, 200) == 0) {
      blocked = true;
      break;
    }
  }
  EXPECT_TRUE(blocked) << "sent " << sent << " bytes without blocking";
  EXPECT_THAT(printer_.jobs(), IsEmpty());
  EXPECT_THAT(hiddenFiles(), IsEmpty());
}

TEST_F(LabelPrinterTest, DownModeRefusesConnectionsAndHoldsThePort) {
  startPrinter(Mode::kDown);
  Client client;
  EXPECT_EQ(client.connect(printer_.port()), ECONNREFUSED);
  int other = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(other, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(printer_.port());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int bound = ::bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int bind_error = errno;
  ::close(other);
  EXPECT_EQ(bound, -1);
  EXPECT_EQ(bind_error, EADDRINUSE);
}

TEST_F(LabelPrinterTest, ChangingModeKeepsPortAndJobNumbering) {
  startPrinter(Mode::kRecord);
  const uint16_t port = printer_.port();
  {
    Client client;
    ASSERT_EQ(client.connect(port), 0);
    ASSERT_TRUE(client.send("before"));
  }
  ASSERT_EQ(printer_.waitForJobs(1, kWait).size(), 1u);

  ASSERT_TRUE(printer_.setMode(Mode::kDown)) << printer_.error();
  EXPECT_EQ(printer_.port(), port);
  Client refused;
  EXPECT_EQ(refused.connect(port), ECONNREFUSED);

  ASSERT_TRUE(printer_.setMode(Mode::kRecord)) << printer_.error();
  EXPECT_EQ(printer_.port(), port);
  {
    Client client;
    ASSERT_EQ(client.connect(port), 0);
    ASSERT_TRUE(client.send("after"));
  }
  EXPECT_THAT(printer_.waitForJobs(2, kWait), ElementsAre("before", "after"));
  EXPECT_EQ(ReadFile(jobs_ + "/job-000002.bin").value_or(""), "after");
}

TEST(LabelPrinterProgramTest, RejectsBadArgumentsWithUsage) {
  const std::string program = LabelPrinter::ProgramPath();
  struct Case {
    std::vector<std::string> argv;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{program}, "--jobs DIR is required"},
      {{program, "--jobs", "/tmp", "--mode", "sideways"}, "bad mode 'sideways'"},
      {{program, "--jobs", "/tmp", "--port", "70000"}, "bad port '70000'"},
      {{program, "--jobs", "/tmp", "--port", "-1"}, "bad port '-1'"},
      {{program, "--jobs"}, "--jobs needs a value"},
      {{program, "--colour"}, "unknown argument '--colour'"},
  };
  for (const Case& c : cases) {
    CommandResult result = RunCommand(c.argv);
    EXPECT_EQ(result.exit_code, 2) << c.message << ": " << Describe(result);
    EXPECT_THAT(result.err, HasSubstr(c.message));
    EXPECT_THAT(result.err, HasSubstr("usage: corvella-label-printer"));
  }
}

TEST(LabelPrinterProgramTest, ReportsAPortThatIsTaken) {
  ScratchDirectory scratch;
  std::string error;
  ASSERT_TRUE(scratch.create("corvella-printer-test", &error)) << error;
  LabelPrinter first;
  ASSERT_TRUE(first.start(scratch.path() + "/a")) << first.error();
  CommandResult second = RunCommand({LabelPrinter::ProgramPath(), "--jobs", scratch.path() + "/b",
                                     "--port", std::to_string(first.port())});
  EXPECT_EQ(second.exit_code, 1) << Describe(second);
  EXPECT_THAT(second.err, HasSubstr("cannot bind 127.0.0.1:" + std::to_string(first.port())));
}

}  // namespace
}  // namespace corvella::testing
