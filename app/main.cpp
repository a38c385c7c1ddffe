#include <cstdio>

int main(int argc, char**) {
    if (argc < 3) std::fprintf(stderr, "usage: tonvera SONG.mid SONG.wav [VOLUME]\n");
    return argc < 3 ? 0 : 1;
}
