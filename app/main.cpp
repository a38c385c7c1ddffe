// Tonvera: plays a MIDI file through the synthesizer while recording the sound server's
// output, and writes what it heard as a WAV file. With two or more arguments it converts once
// and exits; without a display it can only do that.
#include <csignal>
#include <cstdio>

#include "app/about_box.h"
#include "app/command_line.h"
#include "app/error_handler.h"
#include "app/fast_run.h"
#include "app/main_form.h"
#include "app/messages.h"
#include "app/synth_ports.h"
#include "media/notice_poster.h"
#include "platform/jack/jack_backend.h"
#include "platform/mixer.h"
#include "platform/offline_render.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/service_routes.h"
#include "platform/services.h"

namespace {

int Answer(const app::TAnswer& answer) {
    std::fputs(answer.out.c_str(), stdout);
    std::fputs(answer.err.c_str(), stderr);
    return answer.exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit would kill the program silently in the middle of a write; ignored, the
    // write fails with "File too large" and the run says so, with the old output untouched.
    std::signal(SIGXFSZ, SIG_IGN);
    const bool headless =
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    // Help, the version, a usage error and --fast need neither a display nor a sound server, so
    // they are answered before Qt starts.
    const app::TCommandLine line = app::ParseCommandLine(app::CommandLineArguments(argc, argv));
    if (const auto answer = app::AnswerWithoutRunning(line, !headless)) return Answer(*answer);
    if (line.listSynths) return Answer(app::ListSynths());
    if (line.fast) {
        // Rendered offline: neither a window nor a sound server.
        platform::InstallOfflineRender(platform::pulse::MakeOfflineRender());
        return app::RunFastConversions(line);
    }
    if (headless) qputenv("QT_QPA_PLATFORM", "offscreen");

    // Qt gets the program's name only: it would take the user's "-style" or "-reverse" as its
    // own options, and file names are nobody's but ours.
    char fallbackName[] = "tonvera";
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    app::TApplication application(qtArgc, qtArgv);
    QCoreApplication::setApplicationName(QStringLiteral("Tonvera"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TONVERA_VERSION));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TONVERA_APP_ID));
    // The window ends the program itself, with its own exit code (1 after a failed command-line
    // conversion whose error stayed on screen).
    QGuiApplication::setQuitOnLastWindowClosed(false);

    app::SetHeadless(headless);
    // The sound server's backend does everything; the sequencer and the wave input also reach
    // an external synth through JACK: a sequencer opened with a port, and the recorder it
    // names, go to the JACK backend.
    platform::InstallMixer(platform::pulse::MakeMixer());
    platform::InstallOfflineRender(platform::pulse::MakeOfflineRender());
    platform::pulse::LinkedServices pulse = platform::pulse::MakeLinkedServices();
    platform::jack::JackServices jack = platform::jack::MakeJackServices();
    platform::InstallMci(
        std::make_unique<platform::MciRoute>(std::move(pulse.mci), std::move(jack.mci)));
    platform::InstallWaveIn(
        std::make_unique<platform::WaveInRoute>(std::move(pulse.waveIn), std::move(jack.waveIn)));
    media::InstallQtNoticePoster();

    app::TMainForm mainForm;
    mainForm.SetCommandLine(line);
    TAboutBox aboutBox(&mainForm);
    mainForm.SetAboutBox(&aboutBox);
    mainForm.show();
    return application.exec();
}
