#include "support/program_run.h"

#include <QProcessEnvironment>

namespace testsupport {

bool StartProgram(QProcess& process, const QStringList& arguments) {
    auto env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TONVERA_BINARY_DIR "/tonvera"), arguments);
    return process.waitForStarted(10000);
}

ProgramOutcome FinishProgram(QProcess& process, int timeoutMs) {
    process.waitForFinished(timeoutMs);
    return {process.exitStatus() == QProcess::NormalExit && process.state() == QProcess::NotRunning
                ? process.exitCode()
                : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

ProgramOutcome RunProgram(const QStringList& arguments, int timeoutMs) {
    QProcess process;
    if (!StartProgram(process, arguments)) return {};
    return FinishProgram(process, timeoutMs);
}

}  // namespace testsupport
