#pragma once
// The program itself, run as a script would run it: the real binary, without a display.
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

struct ProgramOutcome {
    int exitCode = -1;  // -1 when it did not end normally
    QString stdOut, stdErr;
    qint64 ms = 0;  // from the start to the end
};

struct ProgramSetting {
    QString workingDirectory;  // empty: the test's own
    bool noServer = false;     // PULSE_SERVER names a socket nobody answers
};

class Program {
  public:
    explicit Program(const QStringList& arguments, const ProgramSetting& setting = {});
    bool started() const { return started_; }
    qint64 pid() const { return process_.processId(); }
    void Signal(int signal);
    ProgramOutcome Wait(int timeoutMs = 120000);

  private:
    QProcess process_;
    QElapsedTimer clock_;
    bool started_ = false;
};

// Runs it to its end.
ProgramOutcome RunProgram(const QStringList& arguments, const ProgramSetting& setting = {});

}  // namespace testsupport
