// The single-instance lock and request socket, between two objects of this
// process and against other processes.
#include "platform/linux/SingleInstanceLinux.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "TestSupport.h"

extern char** environ;

namespace quorvel {
namespace {

using namespace std::chrono_literals;

std::string ownExecutable() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

pid_t spawn(std::vector<std::string> args, std::vector<std::string> extraEnv = {}) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  for (auto& e : extraEnv) env.push_back(e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  return pid;
}

bool exitsWithin(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// Started as a child of the tests below: a process running this very program.
TEST(SingleInstanceChild, WaitsToBeStopped) {
  if (std::getenv("QUORVEL_TEST_SINGLE_INSTANCE_CHILD") == nullptr) GTEST_SKIP();
  std::this_thread::sleep_for(30s);
}

TEST(SingleInstanceLinux, TheSecondCopyFindsTheFirstAndAsksItToQuit) {
  testing::TempDir folder;
  SingleInstanceLinux first(folder.path());
  EXPECT_FALSE(first.acquire());
  std::atomic<int> quits = 0;
  first.onRequest([&](InstanceRequest request) {
    if (request == InstanceRequest::quit) ++quits;
  });

  SingleInstanceLinux second(folder.path());
  auto other = second.acquire();
  ASSERT_TRUE(other);
  EXPECT_EQ(other->pid, getpid());
  EXPECT_EQ(other->executable, ownExecutable());

  std::atomic<bool> answered = false;
  std::thread asker([&] { answered = second.send(InstanceRequest::quit); });
  for (int i = 0; i < 200 && quits == 0; ++i) {
    first.poll();
    std::this_thread::sleep_for(5ms);
  }
  asker.join();
  EXPECT_TRUE(answered);
  EXPECT_EQ(quits, 1);
}

TEST(SingleInstanceLinux, ALockLeftByACrashedCopyIsTakenOver) {
  testing::TempDir folder;
  testing::writeTextFile(folder / "quorvel.lock", "999999\n");
  // A socket file nobody listens on any more.
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = (folder / "quorvel.sock").string();
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);

  SingleInstanceLinux copy(folder.path());
  EXPECT_FALSE(copy.acquire());
  SingleInstanceLinux later(folder.path());
  auto other = later.acquire();
  ASSERT_TRUE(other);
  EXPECT_EQ(other->pid, getpid());
}

TEST(SingleInstanceLinux, NobodyToAskWhenNoCopyRuns) {
  testing::TempDir folder;
  SingleInstanceLinux alone(folder.path());
  EXPECT_FALSE(alone.send(InstanceRequest::reopen));
}

TEST(SingleInstanceLinux, OnlyACopyOfOurOwnProgramIsEverForceStopped) {
  const pid_t stranger = spawn({"/bin/sleep", "30"});
  ASSERT_GT(stranger, 0);
  OtherCopy notOurs{stranger, "/bin/sleep"};
  EXPECT_FALSE(SingleInstanceLinux::forceStop(notOurs));
  EXPECT_TRUE(SingleInstanceLinux::isRunning(stranger));
  kill(stranger, SIGKILL);
  EXPECT_TRUE(exitsWithin(stranger, 5s));

  const pid_t copy = spawn({ownExecutable(), "--gtest_filter=SingleInstanceChild.*"},
                           {"QUORVEL_TEST_SINGLE_INSTANCE_CHILD=1"});
  ASSERT_GT(copy, 0);
  std::this_thread::sleep_for(100ms);  // it has become this program
  EXPECT_TRUE(SingleInstanceLinux::forceStop({copy, ownExecutable()}));
  EXPECT_TRUE(exitsWithin(copy, 5s));
}

}  // namespace
}  // namespace quorvel
