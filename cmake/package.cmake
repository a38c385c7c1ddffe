# The Debian package (cpack -G DEB, or scripts/build-deb.sh): what cmake --install puts in
# place, under /usr, with the runtime libraries read off the program by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME tonvera)
set(CPACK_PACKAGE_VENDOR "Brennholt Klangwerkstatt")
set(CPACK_PACKAGE_CONTACT "The Tonvera developers <tonvera@brennholt.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "turns a MIDI file into a WAV file by playing and recording it")
set(CPACK_PACKAGE_DESCRIPTION
  "Tonvera plays a Standard MIDI file through FluidSynth with a General MIDI SoundFont into\n\
the sound server (PulseAudio, or PipeWire's pulse server) and records what it plays into a\n\
44 100 Hz 16-bit stereo WAV file, or a FLAC, Ogg Vorbis, Opus or MP3 file made from it. It\n\
has a window with a live waveform and an unattended command-line mode:\n\
tonvera SONG.mid SONG.wav [VOLUME].")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.brennholt.example/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The synthesizer needs a General MIDI SoundFont where the program looks for one: both
# packages put theirs there (FluidR3 as the default-GM.sf2 alternative).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "timgm6mb-soundfont | fluid-soundfont-gm")
# What the symbols do not tell: libsndfile writes MP3 and Opus files from 1.1 on. The resampler
# that brings Opus files to 48 kHz is named as well, so the package says what it encodes with.
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libsndfile1 (>= 1.1.0), libsamplerate0")
# Without a sound server there is nothing to play into or record from.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio")

include(CPack)
