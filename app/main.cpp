// Tonvera: plays a MIDI file through the synthesizer while recording the sound server's
// output, and writes what it heard as a WAV file. With two or more arguments it converts once
// and exits; without a display it can only do that.
#include <cstdio>

#include "app/about_box.h"
#include "app/command_line.h"
#include "app/error_handler.h"
#include "app/main_form.h"
#include "app/messages.h"
#include "media/notice_poster.h"
#include "platform/pulse/pulse_backend.h"

int main(int argc, char** argv) {
    const bool headless =
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (headless) {
        if (app::CommandLineArguments(argc, argv).size() < 2) {
            std::fprintf(stderr,
                         "usage: tonvera SONG.mid SONG.wav [VOLUME]\n"
                         "Converts the MIDI file to a WAV file and exits (volume 0-100, default "
                         "30). Without arguments it opens its window, which needs a display.\n");
            return 2;
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    app::TApplication application(argc, argv);
    // Counted after Qt took its own options (-style ...), which are no file names.
    const auto arguments = app::CommandLineArguments(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tonvera"));
    app::SetHeadless(headless);
    platform::pulse::InstallPulseBackend();
    media::InstallQtNoticePoster();

    app::TMainForm mainForm(arguments);
    TAboutBox aboutBox(&mainForm);
    mainForm.SetAboutBox(&aboutBox);
    mainForm.show();
    return application.exec();
}
