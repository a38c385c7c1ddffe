#pragma once
// Routes the sound card's mixer so that its recording side hears what it plays: unmutes the
// playback lines and sets their volumes, unmutes and sets the recording destination and each
// of its sources, and selects the synthesizer (failing that, the stereo-mix lines) as the
// recording source. Runs to its end whatever the device lacks; nothing is reported.

namespace engine {

// The volumes the routing gives a control spanning minimum..maximum at the track bar's percent
// (0 to 100): the speakers always half, every volume on the recording side (the synthesizer
// line, the recording destination, the selected line) the percent. --fast renders with these
// very values, so its gain is the recorded conversion's.
struct RoutedVolumes {
    long speakers = 0;
    long recording = 0;
};
RoutedVolumes RoutedVolumesFor(int percent, long minimum, long maximum);

// The whole routing with the volume track bar's percent (0 to 100). The speakers always get
// 50 per cent.
void SetMixerBtnClick(int percent);

}  // namespace engine
