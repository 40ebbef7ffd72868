// A private PulseAudio sound server for the end-to-end benchmarks: no hardware, one null sink
// "kinetra_bench" (44100 Hz mono, no rewinds) whose monitor is the capture source, reached
// through its own socket. The server runs as a child of the benchmark program, with its own HOME
// and runtime directory in a temporary directory, and dies with the program's main thread (it is
// told to stop by the kernel when that thread ends, even after a crash).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/block_format.h"

namespace kinetra::bench {

inline constexpr const char kBenchSink[] = "kinetra_bench";
inline constexpr const char kBenchSource[] = "kinetra_bench.monitor";

// Waits up to timeoutMs for child pid to end. True when it ended (and was reaped).
inline bool WaitForChild(pid_t pid, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || done < 0) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Ends a child: SIGTERM, up to termWaitMs, then SIGKILL. Thread: the one that started it.
inline void EndChild(pid_t pid, int termWaitMs = 3000) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (WaitForChild(pid, termWaitMs)) return;
    kill(pid, SIGKILL);
    WaitForChild(pid, 5000);
}

// Starts argv[0] (looked up in PATH) with the current environment plus extra "NAME=value"
// entries, standard output and error to logPath (or inherited when empty). The child receives
// SIGTERM when the calling thread ends. Returns the pid, or -1.
inline pid_t SpawnChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                        const std::string& logPath) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The environment is put together before fork: the child may not allocate.
    std::vector<std::string> merged;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& x : env) replaced = replaced || x.rfind(name + "=", 0) == 0;
        if (!replaced) merged.push_back(entry);
    }
    merged.insert(merged.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& e : merged) envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // Child: async-signal-safe calls only.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    if (!logPath.empty()) {
        const int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
    }
    const int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
}

class PulseServer {
public:
    PulseServer() = default;
    ~PulseServer() { Stop(); }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Starts the server and waits (at most 10 s) until its socket accepts clients. On success
    // sets PULSE_SERVER, PULSE_SINK and PULSE_SOURCE in this process, so that libpulse, SDL and
    // children use it. False with a reason in error otherwise (nothing left running).
    // Thread: the benchmark's main thread.
    bool Start(std::string* error) {
        char dirTemplate[] = "/tmp/kinetra-bench-pulse.XXXXXX";
        if (mkdtemp(dirTemplate) == nullptr) {
            *error = "cannot create a temporary directory";
            return false;
        }
        m_dir = dirTemplate;
        const std::string home = m_dir + "/home";
        const std::string runtime = m_dir + "/runtime";
        mkdir(home.c_str(), 0700);
        mkdir(runtime.c_str(), 0700);
        m_socket = m_dir + "/native";
        const std::vector<std::string> argv = {
            "pulseaudio",
            "--daemonize=no",
            "--system=false",
            "--exit-idle-time=-1",
            "--disallow-exit",
            "-n",
            "--log-target=stderr",
            "-L",
            std::string("module-null-sink sink_name=") + kBenchSink +
                " rate=" + std::to_string(kinetra::kSampleRate) + " channels=1 norewinds=1",
            "-L",
            "module-native-protocol-unix socket=" + m_socket + " auth-anonymous=1",
        };
        m_pid = SpawnChild(argv, {"HOME=" + home, "XDG_RUNTIME_DIR=" + runtime}, m_dir + "/log");
        if (m_pid < 0) {
            *error = "cannot start pulseaudio";
            Stop();
            return false;
        }
        // The null sink is loaded before the protocol module, so a socket means a sink too.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!std::filesystem::exists(m_socket)) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                *error = "pulseaudio ended at start-up (is it installed? log: " + m_dir + "/log)";
                Stop(false);
                return false;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                *error = "pulseaudio did not open its socket within 10 s";
                Stop(false);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        setenv("PULSE_SERVER", ("unix:" + m_socket).c_str(), 1);
        setenv("PULSE_SINK", kBenchSink, 1);
        setenv("PULSE_SOURCE", kBenchSource, 1);
        return true;
    }

    // Stops the server, waits for it and removes its directory. Safe to call again.
    // Thread: the one that called Start.
    void Stop(bool removeDir = true) {
        if (m_pid > 0) EndChild(m_pid);
        m_pid = -1;
        if (!m_dir.empty() && removeDir) {
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
            m_dir.clear();
        }
    }

    const std::string& Directory() const { return m_dir; }

private:
    pid_t m_pid = -1;
    std::string m_dir;
    std::string m_socket;
};

}  // namespace kinetra::bench
