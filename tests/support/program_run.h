#pragma once
// The program itself, run as a script would run it: the real binary, without a display.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

struct ProgramOutcome {
    int exitCode = -1;  // -1 when it did not end normally
    QString stdErr;
};

// Starts build/tonvera without a display; false when it did not start.
bool StartProgram(QProcess& process, const QStringList& arguments);
// Runs it to its end (at most timeoutMs).
ProgramOutcome RunProgram(const QStringList& arguments, int timeoutMs = 120000);
// Waits for a started one.
ProgramOutcome FinishProgram(QProcess& process, int timeoutMs = 120000);

}  // namespace testsupport
