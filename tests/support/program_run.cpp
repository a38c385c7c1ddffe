#include "support/program_run.h"

#include <signal.h>

#include <QProcessEnvironment>

namespace testsupport {

Program::Program(const QStringList& arguments, const ProgramSetting& setting) {
    auto env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    if (setting.noServer) env.insert("PULSE_SERVER", "unix:/nonexistent/tonvera-test-socket");
    process_.setProcessEnvironment(env);
    if (!setting.workingDirectory.isEmpty()) process_.setWorkingDirectory(setting.workingDirectory);
    clock_.start();
    process_.start(QStringLiteral(TONVERA_BINARY_DIR "/tonvera"), arguments);
    started_ = process_.waitForStarted(10000);
}

void Program::Signal(int signal) {
    if (started_) ::kill(pid_t(process_.processId()), signal);
}

ProgramOutcome Program::Wait(int timeoutMs) {
    ProgramOutcome o;
    if (!started_) return o;
    process_.waitForFinished(timeoutMs);
    o.ms = clock_.elapsed();
    if (process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit)
        o.exitCode = process_.exitCode();
    o.stdOut = QString::fromLocal8Bit(process_.readAllStandardOutput());
    o.stdErr = QString::fromLocal8Bit(process_.readAllStandardError());
    return o;
}

ProgramOutcome RunProgram(const QStringList& arguments, const ProgramSetting& setting) {
    return Program(arguments, setting).Wait();
}

}  // namespace testsupport
