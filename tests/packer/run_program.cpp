#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <stdexcept>

#include "tests/packer/run_program.h"

namespace {

constexpr int kSignalStatusBase = 128;

class Pipe {
 public:
  Pipe() {
    if (pipe2(ends_, O_CLOEXEC) != 0) {
      throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  int read() const { return ends_[0]; }
  int write() const { return ends_[1]; }
  void closeRead() { closeEnd(0); }
  void closeWrite() { closeEnd(1); }

 private:
  void closeEnd(int end) {
    if (ends_[end] >= 0) {
      close(ends_[end]);
    }
    ends_[end] = -1;
  }
  int ends_[2];
};

// In the child between fork and exec: only async-signal-safe calls. A failure is reported as
// errno through `failure`, which exec closes on success.
[[noreturn]] void execChild(const std::vector<char*>& argv, const char* folder, const Pipe& out,
                            const Pipe& err, const Pipe& failure) {
  int input = open("/dev/null", O_RDONLY);
  if (input >= 0 && dup2(input, STDIN_FILENO) >= 0 && dup2(out.write(), STDOUT_FILENO) >= 0 &&
      dup2(err.write(), STDERR_FILENO) >= 0 && chdir(folder) == 0) {
    execvp(argv[0], argv.data());
  }
  const int error = errno;
  ssize_t ignored = ::write(failure.write(), &error, sizeof error);
  (void)ignored;
  _exit(127);
}

// Reads both pipes until the child closes them; reading one at a time could block the child
// on the other when its buffer is full.
void collectOutput(Pipe& out, Pipe& err, ToolResult& result) {
  pollfd fds[] = {{out.read(), POLLIN, 0}, {err.read(), POLLIN, 0}};
  std::string* sinks[] = {&result.out, &result.err};
  int openPipes = 2;
  char buffer[4096];
  while (openPipes > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw std::runtime_error(std::string("cannot read a tool's output: ") + std::strerror(errno));
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --openPipes;
      }
    }
  }
}

int waitFor(pid_t child) {
  int status;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      throw std::runtime_error(std::string("cannot wait for a tool: ") + std::strerror(errno));
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : kSignalStatusBase + WTERMSIG(status);
}

}  // namespace

ToolResult runProgram(const std::vector<std::string>& argv, const std::filesystem::path& folder) {
  std::vector<char*> args;
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  Pipe out, err, failure;
  const pid_t child = fork();
  if (child < 0) {
    throw std::runtime_error(std::string("cannot start ") + argv[0] + ": " + std::strerror(errno));
  }
  if (child == 0) {
    execChild(args, folder.c_str(), out, err, failure);
  }
  out.closeWrite();
  err.closeWrite();
  failure.closeWrite();
  ToolResult result{};
  collectOutput(out, err, result);
  int startError = 0;
  const bool failed = ::read(failure.read(), &startError, sizeof startError) == sizeof startError;
  result.status = waitFor(child);
  if (failed) {
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(startError));
  }
  return result;
}
