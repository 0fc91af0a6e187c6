#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "app/CrashDump.h"
#include "app/CrashFrame.h"
#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;

namespace {

// Writes into a page nobody may touch: a real fault, not a sent signal.
void Fault() {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 1;
}

int Recurse(int depth) {
    if (depth < 0) return 0;  // never: the stack runs out first
    volatile char pad[4096];
    pad[0] = static_cast<char>(depth);
    return Recurse(depth + 1) + pad[0];
}

class JobThread : public vm::CWorkerThread {
  public:
    explicit JobThread(std::function<void()> job) : m_job(std::move(job)) {}

  protected:
    int RunTask() override {
        m_job();
        return 0;
    }

  private:
    std::function<void()> m_job;
};

enum class Where { Worker, StartUp };

// Runs job in a child process whose program folder is dir, on a worker or in the start-up
// frame, and returns the child's wait status.
int CrashInChild(const fs::path& dir, Where where, std::function<void()> job) {
    pid_t pid = fork();
    if (pid == 0) {
        // The crash report hands the signal on to what was there before: the default, not a
        // sanitizer's own report.
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(sig, SIG_DFL);
        vm::theApp().SetProgramDir(dir);
        vm::InstallCrashDump();
        if (where == Where::Worker) {
            vm::CWorkerThread::Start(std::make_unique<JobThread>(job));
            sleep(30);
        } else {
            vm::RunInCrashFrame([&] {
                job();
                return 0;
            });
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

class CrashReportTest : public ::testing::Test {
  protected:
    std::string Report() const {
        return platform::ReadWholeFile(dir / "vmcrash.dmp").value_or("<none>");
    }
    vm::test::ScopedTempDir temp;
    const fs::path dir = temp.Path();
};

TEST_F(CrashReportTest, CrashOnAWorkerLeavesAReportAndStillKillsTheProcess) {
    int status = CrashInChild(dir, Where::Worker, Fault);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    const std::string report = Report();
    EXPECT_NE(report.find("signal: 11 (SIGSEGV)"), std::string::npos) << report;
    EXPECT_NE(report.find("\nthread: "), std::string::npos);
    EXPECT_NE(report.find("\nbacktrace:\n"), std::string::npos);
    // Only the report: the sibling it was written to has been renamed.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(CrashReportTest, LaterCrashReplacesTheReport) {
    CrashInChild(dir, Where::Worker, Fault);
    int status = CrashInChild(dir, Where::StartUp, [] { abort(); });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    EXPECT_NE(Report().find("signal: 6 (SIGABRT)"), std::string::npos);
    EXPECT_EQ(Report().find("SIGSEGV"), std::string::npos);
}

TEST_F(CrashReportTest, StackOverflowOnAWorkerIsReported) {
    int status = CrashInChild(dir, Where::Worker, [] { Recurse(0); });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_NE(Report().find("SIGSEGV"), std::string::npos);
}

}  // namespace
