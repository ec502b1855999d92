#include "support/PortListeners.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "TestSupport.h"

namespace quorvel {
namespace {

TEST(PortListeners, FindsThisProcessListeningAndNothingOnAFreePort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  const int port = ntohs(address.sin_port);

  EXPECT_TRUE(processesListeningOn(port).empty());  // bound but not listening
  ASSERT_EQ(::listen(fd, 1), 0);
  const auto owners = processesListeningOn(port);
  EXPECT_NE(std::find(owners.begin(), owners.end(), ::getpid()), owners.end());
  ::close(fd);
  EXPECT_TRUE(processesListeningOn(port).empty());
  EXPECT_FALSE(executableOfProcess(::getpid()).empty());
}

}  // namespace
}  // namespace quorvel
