#include "kit/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "native/unique_fd.h"

extern char** environ;

namespace updater::kit {

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input) {
    int inPipe[2], outPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    native::UniqueFd inRead(inPipe[0]), inWrite(inPipe[1]);
    if (pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    native::UniqueFd outRead(outPipe[0]), outWrite(outPipe[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inRead.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv[0] + " (apt-get install " + argv[0] + ")");
    inRead.Close();
    outWrite.Close();
    // The input (a password) is far smaller than a pipe's buffer.
    if (!input.empty() && write(inWrite.get(), input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        throw std::runtime_error("cannot hand the input to " + argv[0]);
    inWrite.Close();
    ProcessResult result;
    char buffer[4096];
    for (ssize_t got; (got = read(outRead.get(), buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace updater::kit
