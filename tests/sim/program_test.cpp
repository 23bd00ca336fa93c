// The velkor-sim program: options, the slave path on its first line, the
// front panel on standard input or a FIFO, the log file, quitting.
#include "client.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// velkor-sim as a child process with pipes on its standard input and output.
class Program {
  public:
    explicit Program(std::vector<std::string> args) {
        int in[2], out[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        args.insert(args.begin(), VELKOR_SIM);
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, VELKOR_SIM, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        closeInput();
        close(stdout_);
    }

    void say(const std::string& line) {
        const std::string text = line + "\n";
        [[maybe_unused]] auto n = write(stdin_, text.data(), text.size());
    }
    void closeInput() {
        if (stdin_ >= 0)
            close(stdin_);
        stdin_ = -1;
    }
    // One line of standard output, or "" after the time-out.
    std::string line(std::chrono::milliseconds timeout = 5s) {
        std::string text;
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            pollfd pfd{stdout_, POLLIN, 0};
            if (poll(&pfd, 1, 10) > 0) {
                char c = 0;
                if (read(stdout_, &c, 1) != 1)
                    return text;
                if (c == '\n')
                    return text;
                text += c;
            } else if (std::chrono::steady_clock::now() > until) {
                return text;
            }
        }
    }
    // Everything up to the end of standard output (at most 5 s of it).
    std::string rest() {
        std::string text;
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < until) {
            pollfd pfd{stdout_, POLLIN, 0};
            if (poll(&pfd, 1, 10) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(stdout_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }
    // The exit status, or -1 if it has not ended within the time-out.
    int wait(std::chrono::milliseconds timeout = 5s) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(5ms);
        }
        return -1;
    }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
};

// Writes to the panel FIFO as one writer; never waits for a reader that
// is not there (a program that has ended).
bool writeToFifo(const std::string& path, const std::string& text) {
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool bWritten = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return bWritten;
}

TEST(Program, HelpExplainsOptionsAndFrontPanel) {
    Program program({"--help"});
    const std::string text = program.rest();
    for (const char* word : {"--link", "--no-pacing", "--usb", "--record", "--log", "--panel",
                             "latency", "unplug", "drop", "restart", "quit"})
        EXPECT_NE(text.find(word), std::string::npos) << word;
    EXPECT_EQ(program.wait(), 0);
    Program wrong({"--frobnicate"});
    EXPECT_EQ(wrong.wait(), 2);
}

TEST(Program, ServesTheLineAndTakesThePanelFromStandardInput) {
    const std::string linkPath = tempPath("velkor-sim-program-link");
    const std::string logPath = tempPath("velkor-sim-program.log");
    Program program({"--no-pacing", "--link", linkPath, "--log", logPath});
    const std::string slave = program.line();
    ASSERT_EQ(slave.rfind("/dev/pts/", 0), 0u) << slave;
    EXPECT_EQ(std::filesystem::read_symlink(linkPath), slave);

    Client client(linkPath);
    program.say("tune 14200000");
    program.say("status");
    EXPECT_EQ(program.line(), "freq 14200000 mode am step 2500 lock off signal 7");
    client.send("*AL\r?AF\r");
    EXPECT_EQ(client.readLine(1s), "@AF14200000\r");

    // The end of standard input does not end the emulator; SIGTERM does.
    program.closeInput();
    std::this_thread::sleep_for(50ms);
    client.send("?AU\r");
    EXPECT_EQ(client.readLine(1s), "@AL\r");
    kill(program.pid(), SIGTERM);
    EXPECT_EQ(program.wait(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(linkPath));

    std::ifstream log(logPath);
    std::vector<std::string> commands;
    for (std::string line; std::getline(log, line);)
        commands.push_back(line.substr(line.find(' ') + 1));
    EXPECT_EQ(commands, (std::vector<std::string>{"*AL", "?AF", "?AU"}));
    std::filesystem::remove(logPath);
}

TEST(Program, TakesThePanelFromAFifoAndExitsAfterUnplug) {
    const std::string fifo = tempPath("velkor-sim-panel");
    std::filesystem::remove(fifo);
    Program program({"--no-pacing", "--panel", fifo});
    const std::string slave = program.line();
    ASSERT_FALSE(slave.empty());
    struct stat st {};
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    Client client(slave);
    // Writers that come and go do not end the panel.
    EXPECT_TRUE(writeToFifo(fifo, "mode cw\n"));
    EXPECT_TRUE(writeToFifo(fifo, "step 100\n"));
    std::this_thread::sleep_for(50ms);
    client.send("?RMM\r?RMI\r");
    EXPECT_EQ(client.read(14, 1s), "@RMM2\r@RMI100\r");
    EXPECT_TRUE(writeToFifo(fifo, "unplug\n"));
    EXPECT_EQ(program.wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(slave));
    std::filesystem::remove(fifo);
}

} // namespace
