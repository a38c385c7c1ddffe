// Tonvera: plays a MIDI file through the synthesizer while recording the sound server's
// output, and writes what it heard as a WAV file. With two or more arguments it converts once
// and exits; without a display it can only do that.
#include <cstdio>

#include "app/about_box.h"
#include "app/command_line.h"
#include "app/error_handler.h"
#include "app/fast_run.h"
#include "app/main_form.h"
#include "app/messages.h"
#include "media/notice_poster.h"
#include "platform/offline_render.h"
#include "platform/pulse/pulse_backend.h"

namespace {

int Answer(const app::TAnswer& answer) {
    std::fputs(answer.out.c_str(), stdout);
    std::fputs(answer.err.c_str(), stderr);
    return answer.exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    const bool headless =
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    // Help, the version and a window-less start without both files need neither a display nor
    // a sound server, so they are answered before Qt starts (Qt only ever takes arguments away).
    // A line not understood yet may hold Qt's own options: the reading after Qt decides.
    const app::TCommandLine early = app::ParseCommandLine(app::CommandLineArguments(argc, argv));
    if (early.error.empty()) {
        if (const auto answer = app::AnswerWithoutRunning(early, !headless)) return Answer(*answer);
        // Rendered offline: neither a window nor a sound server.
        if (early.fast) {
            platform::InstallOfflineRender(platform::pulse::MakeOfflineRender());
            return app::RunFastConversions(early);
        }
    }
    if (headless) qputenv("QT_QPA_PLATFORM", "offscreen");

    app::TApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tonvera"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TONVERA_VERSION));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TONVERA_APP_ID));
    // Read after Qt took its own options (-style ...), which are no file names.
    const app::TCommandLine line = app::ParseCommandLine(app::CommandLineArguments(argc, argv));
    if (const auto answer = app::AnswerWithoutRunning(line, !headless)) return Answer(*answer);

    app::SetHeadless(headless);
    platform::pulse::InstallPulseBackend();
    media::InstallQtNoticePoster();

    if (line.fast) return app::RunFastConversions(line);

    app::TMainForm mainForm;
    mainForm.SetCommandLine(line);
    TAboutBox aboutBox(&mainForm);
    mainForm.SetAboutBox(&aboutBox);
    mainForm.show();
    return application.exec();
}
